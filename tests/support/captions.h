#pragma once
// Every caption of a form (buttons, check and option boxes, labels, frames;
// hidden ones too) laid out as its control draws it, and reported when it
// needs more room than it has or runs past a frame or the form; and every
// item of its lists that the closed list cannot show whole.
#include <QColor>
#include <QString>
#include <QStringList>
#include <vector>

class QWidget;

// One line per cut caption; empty when everything fits.
QStringList cutCaptions(QWidget* form);

// Saves `form` as drawn to <test program folder>/grabs/<name>.png; returns the path.
QString grabForm(QWidget* form, const QString& name = QString());

// Grabs the form, then fails the running test with one message per cut caption.
void expectCaptionsFit(QWidget* form, const QString& name = QString());

// A text as a reader meets it on the drawn form: the colour of its ink and
// the colour it stands on, as a grab of the form shows them.
struct TextContrast {
    QString control; // the control's place on its form, as "client/cbxParameter#12"
    QColor text;
    QColor ground;
    double ratio = 1;
    bool enabled = true;
};

// The contrast ratio of two colours by their relative luminance (1 to 21).
double contrastRatio(const QColor& a, const QColor& b);

// Every text `form` shows on screen and uncovered (labels, fields, lists,
// buttons, check and option boxes, frames), measured on one grab of it: the
// ground is the colour most of the text's box shows, the ink the colour
// that stands out most from it. A list counts its worst item.
std::vector<TextContrast> textContrasts(QWidget* form);

class MainScreen;

// The five main screens, each with its form name and the call that makes it.
struct NamedScreen {
    const char* name;
    MainScreen& (*screen)();
};
const std::vector<NamedScreen>& mainScreens();
