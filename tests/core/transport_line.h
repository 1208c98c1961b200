#pragma once
// A scripted line: a thread on the pty master records each request and sends the next reply.
#include <QByteArray>
#include <QList>
#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

#include "core/transports.h"
#include "sim-driver/pty.h"
#include "support/testenv.h"

class ScriptedLine {
public:
    explicit ScriptedLine(PtyPair& pty) : pty_(pty) {}
    ~ScriptedLine() { stop(); }

    void reply(const QByteArray& bytes)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        script_.push_back(bytes);
    }
    void silence() { reply({}); }

    QList<QByteArray> requests() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

    void start()
    {
        stop_ = false;
        thread_ = std::thread([this] { run(); });
    }
    void stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }

private:
    void run()
    {
        while (!stop_) {
            QByteArray request = pty_.read(1, 20);
            if (request.isEmpty())
                continue;
            request += pty_.readUntilQuiet(10, 500);
            QByteArray answer;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.append(request);
                if (!script_.empty()) {
                    answer = script_.front();
                    script_.pop_front();
                }
            }
            pty_.write(answer);
        }
    }

    PtyPair& pty_;
    mutable std::mutex mutex_;
    std::deque<QByteArray> script_;
    QList<QByteArray> requests_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The program's port on a fresh scripted line as COM7.
class LineTest : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        ASSERT_TRUE(pty_.ok());
        openLine(7, pty_.slavePath());
        line_.start();
    }
    void TearDown() override
    {
        line_.stop();
        QxTest::TearDown();
    }

    PtyPair pty_;
    ScriptedLine line_{pty_};
};

inline QByteArray Bytes(const char* hex) { return QByteArray::fromHex(hex); }
