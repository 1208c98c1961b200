#include "config/frmConfig.h"

#include <QFontMetrics>
#include <QMenuBar>
#include <array>

#include "config/layoutrules.h"
#include "config/parammap.h"
#include "config/scaling.h"
#include "core/helpers.h"
#include "core/startup.h"
#include "core/state.h"
#include "platform/fitting.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/twips.h"
#include "shell/addresslist.h"

using namespace modZarn;
using cfgmap::Editor;
using cfgmap::Entry;

FrmConfig& frmConfig() { return Forms::get<FrmConfig>(); }

namespace {

// Window and strip geometry (twips). The strips are taller than the page
// content strictly needs so that every column of the largest pages fits.
constexpr int kClientWidth = 9765;
constexpr int kClientHeight = 7335;
constexpr int kStripTop = 1560;
constexpr int kStripHeight = 4695;
constexpr int kTabHeight = 520;
constexpr int kNavTop = 6360;
constexpr int kGap = 60;

constexpr int kHeadingColor = 0xC04000;

// A stored caption as a label shows it: "&&" is one ampersand, a single "&"
// only marks an access key.
QString labelText(const QString& caption)
{
    QString out;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&') {
            if (i + 1 < caption.size() && caption[i + 1] == u'&')
                out += u'&', ++i;
            continue;
        }
        out += caption[i];
    }
    return out;
}

void setColor(QWidget* w, int rgb)
{
    if (rgb == cfgmap::kNoColor)
        return;
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, QColor::fromRgb(QRgb(rgb)));
    p.setColor(QPalette::Text, QColor::fromRgb(QRgb(rgb)));
    w->setPalette(p);
}

void setFontOf(QWidget* w, double points, bool bold, bool underline = false)
{
    QFont f = w->font();
    if (points > 0)
        f.setPointSizeF(points);
    f.setBold(bold);
    f.setUnderline(underline);
    w->setFont(f);
}

// The title as designed, widened or in a smaller font where a longer text
// needs it.
void showTitle(QLabel* title, const QString& text)
{
    tw::place(title, 2760, 0, 3735, 495);
    setFontOf(title, 18, true);
    title->setText(text);
    ctl::fitCentred(title);
}

// Runs one step of the screen's load: a step that fails is skipped quietly.
template <class F>
void quietly(F&& step)
{
    try {
        step();
    } catch (const std::exception&) {
    }
}

ControlSpec spec(int index, ctl::Kind kind, int left, int top, int width, int height,
                 const QString& caption = QString())
{
    ControlSpec s;
    s.index = index;
    s.kind = kind;
    s.left = left;
    s.top = top;
    s.width = width;
    s.height = height;
    s.caption = caption;
    return s;
}

ctl::ArrayEvents onClick(std::function<void(int)> f)
{
    ctl::ArrayEvents e;
    e.Click = std::move(f);
    return e;
}

ctl::ArrayEvents onChange(std::function<void(int)> f)
{
    ctl::ArrayEvents e;
    e.Change = std::move(f);
    return e;
}

} // namespace

FrmConfig::FrmConfig()
{
    setObjectName(QStringLiteral("frmConfig"));
    setWindowTitle(QStringLiteral("Configure Instrument"));
    QFont f = font();
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Arial"), QStringLiteral("Nimbus Sans")});
    f.setPointSizeF(8.25);
    setFont(f);

    txtParameter.setName(QStringLiteral("txtParameter"));
    cbxParameter.setName(QStringLiteral("cbxParameter"));
    chkParameter.setName(QStringLiteral("chkParameter"));
    lblParamLabel.setName(QStringLiteral("lblParamLabel"));
    cbxReset.setName(QStringLiteral("cbxReset"));
    txtPattHour.setName(QStringLiteral("txtPattHour"));
    txtPattMin.setName(QStringLiteral("txtPattMin"));
    lblLabels.setName(QStringLiteral("lblLabels"));
    cbxModelID.setName(QStringLiteral("cbxModelID"));
    lblModelType.setName(QStringLiteral("lblModelType"));
    txtDescription.setName(QStringLiteral("txtDescription"));
    cbxDecimalPoint.setName(QStringLiteral("cbxDecimalPoint"));
    lblDecimalPoint.setName(QStringLiteral("lblDecimalPoint"));
    cbxInputType.setName(QStringLiteral("cbxInputType"));
    lblInputType.setName(QStringLiteral("lblInputType"));

    buildFixedControls();
    for (int g = 0; g <= 2; ++g)
        buildGroup(g);
    wireArrays();
    wireCommands();
    // Focus runs through the top row and the pages before the navigation row.
    QWidget* tail = previousInFocusChain();
    for (QPushButton* b : {cmdMainMenu, cmdConfigureController, cmdStatus, cmdFind, cmdSetpoints, cmdMonitor,
                           cmdLogging, cmdGraph}) {
        setTabOrder(tail, b);
        tail = b;
    }
    setEnterMovesFocus(true);
}

void FrmConfig::buildFixedControls()
{
    const int menuHeight = menuBar->sizeHint().height();
    client = new QWidget(this);
    client->setGeometry(0, menuHeight, tw::px(kClientWidth), tw::px(kClientHeight));
    setFixedSize(tw::px(kClientWidth), menuHeight + tw::px(kClientHeight));
    menuBar->setGeometry(0, 0, width(), menuHeight);

    auto button = [this](const QString& caption, int left, int top, int w, int h, const char* bg) {
        auto* b = new CommandButton(caption, client);
        tw::place(b, left, top, w, h);
        if (bg)
            b->setStyleSheet(QStringLiteral("background-color: %1").arg(QLatin1String(bg)));
        setFontOf(b, 9.75, false);
        return b;
    };
    // Focus order of the top row: read file, save file, address, read, send.
    cmdReadFile = button(QStringLiteral("  Read Configuration From a File"), 120, 600, 1335, 855, "rgb(0,192,0)");
    cmdSaveFile = button(QStringLiteral("  Save Configuration To a File"), 1560, 600, 1335, 855, "rgb(255,128,128)");
    lblAddress = new QLabel(QStringLiteral("Address:"), client);
    tw::place(lblAddress, 3600, 645, 735, 255);
    lblAddress->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblAddress->setAutoFillBackground(true);
    {
        QPalette p = lblAddress->palette();
        p.setColor(QPalette::Window, Qt::white);
        lblAddress->setPalette(p);
    }
    cbxAddress = new ComboBox(client);
    tw::place(cbxAddress, 4440, 600, 855, 315);
    cmdReadControl = button(QStringLiteral("  Read Configuration From an Instrument"), 5880, 600, 1815, 855, "rgb(0,192,192)");
    cmdSaveControl = button(QStringLiteral("  Send Configuration To an Instrument"), 7800, 600, 1815, 855, "rgb(255,128,0)");

    lblTitle = new QLabel(client);
    lblTitle->setAlignment(Qt::AlignCenter);
    showTitle(lblTitle, QStringLiteral("Configure Instrument"));
    setColor(lblTitle, kHeadingColor);
    lblTitle->setAutoFillBackground(true);
    {
        QPalette p = lblTitle->palette();
        p.setColor(QPalette::Window, Qt::white);
        lblTitle->setPalette(p);
    }
    lblDemoMode = new QLabel(QStringLiteral("Demo Mode"), client);
    tw::place(lblDemoMode, 120, 120, 1095, 255);
    setFontOf(lblDemoMode, 0, true);
    setColor(lblDemoMode, 0xFF0000);
    lblProgress = new QLabel(QStringLiteral("lblProgress"), client);
    tw::place(lblProgress, 6360, 360, 2775, 255);
    lblProgress->setAlignment(Qt::AlignCenter);
    setFontOf(lblProgress, 0, true);
    setColor(lblProgress, 0xFF8000);
    lblAutoSendFileName = new QLabel(QStringLiteral("lblAutoSendFileName"), client);
    tw::place(lblAutoSendFileName, 600, kNavTop + 660, 7815, 255);
    lblAutoSendFileName->setAlignment(Qt::AlignCenter);
    setFontOf(lblAutoSendFileName, 0, true);
    setColor(lblAutoSendFileName, 0xFF0000);

    // The navigation row along the bottom.
    const std::array<QPushButton*, 8> nav = {cmdMainMenu, cmdConfigureController, cmdStatus, cmdFind,
                                             cmdSetpoints, cmdMonitor, cmdLogging, cmdGraph};
    for (std::size_t i = 0; i < nav.size(); ++i) {
        nav[i]->setParent(client);
        tw::place(nav[i], 360 + int(i) * 1080, kNavTop, 1095, 615);
        nav[i]->show();
    }
    setTabOrder(cmdReadFile, cmdSaveFile);
    setTabOrder(cmdSaveFile, cbxAddress);
    setTabOrder(cbxAddress, cmdReadControl);
    setTabOrder(cmdReadControl, cmdSaveControl);
}

void FrmConfig::buildGroup(int g)
{
    const cfgmap::GroupMap& map = cfgmap::group(g);
    auto* strip = new TabStrip(client, map.tabs);
    strip->setTabHeight(kTabHeight);
    tw::place(strip, 0, kStripTop, cfgmap::kPageWidth, kStripHeight);
    // The pages hold long captions in narrow columns: a condensed face where there is one.
    QFont pageFont = strip->font();
    pageFont.setFamilies({QStringLiteral("Nimbus Sans Narrow"), QStringLiteral("Arial Narrow"),
                          QStringLiteral("DejaVu Sans Condensed")});
    pageFont.setPointSizeF(9);
    strip->setFont(pageFont);
    tabConfig.add(g, strip);
    strip->Click = [this, g](int previous) { tabConfig_Click(g, previous); };

    int nextLabel = lblLabels.uBound() + 1;
    auto staticLabel = [&](int page, const QString& text, int left, int top, int width, int height) {
        const int i = nextLabel++;
        lblLabels.build(strip->page(page), {spec(i, ctl::Kind::Label, left, top, width, height, labelText(text))});
        return lblLabels(i);
    };
    auto paramLabel = [&](QWidget* page, const Entry& e, int left, int top, int width) {
        lblParamLabel.build(page, {spec(e.reg, ctl::Kind::Label, left, top, width, cfgmap::kLabelHeight,
                                        labelText(e.caption))});
        QLabel* l = lblParamLabel(e.reg);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        setColor(l, e.labelColor);
        return l;
    };
    auto listWidth = [strip](const QStringList& items, int room) {
        int widest = 0;
        const QFontMetrics fm(strip->font());
        for (const QString& s : items)
            widest = std::max(widest, fm.horizontalAdvance(s));
        const int twips = widest * tw::kTwipsPerPixel + 480;
        return std::clamp(twips, 855, std::max(855, room));
    };

    // The model, its type and the description head page 0.
    QWidget* general = strip->page(0);
    staticLabel(0, QStringLiteral("Model ID:"), 120, map.modelTop + 30, 1140, cfgmap::kLabelHeight)
        ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cbxModelID.build(general, {spec(g, ctl::Kind::ComboBox, 1320, map.modelTop, 2415, cfgmap::kListHeight)});
    lblModelType.build(general, {spec(g, ctl::Kind::Label, 3840, map.modelTop + 30, 3855, cfgmap::kLabelHeight,
                                      QStringLiteral("lblModelType"))});
    setFontOf(lblModelType(g), 9.75, false);
    setColor(lblModelType(g), 0x0000C0);
    staticLabel(0, QStringLiteral("Description:"), 120, map.descriptionTop + 15, 1140, cfgmap::kLabelHeight)
        ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    txtDescription.build(general, {spec(g, ctl::Kind::TextBox, 1320, map.descriptionTop, 3495, cfgmap::kTextHeight,
                                        QStringLiteral("txtDescription"))});

    for (const cfgmap::Section& s : map.sections) {
        if (s.heading.isEmpty())
            continue;
        QLabel* h = staticLabel(s.page, s.heading, s.left, s.top, s.width, cfgmap::kLabelHeight);
        h->setAlignment(Qt::AlignCenter);
        setFontOf(h, 8.25, true, true);
        setColor(h, kHeadingColor);
    }
    for (const cfgmap::StaticLabel& l : map.labels) {
        QLabel* w = staticLabel(l.page, l.text, l.left, l.top, l.width, l.height);
        w->setAlignment((l.centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
        w->setWordWrap(l.height > cfgmap::kLabelHeight);
        if (l.emphasis) {
            setFontOf(w, 9.75, false);
            setColor(w, 0x0000C0);
        }
    }

    // Entries flow down their section column; grid entries carry their own place.
    std::vector<int> cursor(map.sections.size());
    for (std::size_t i = 0; i < map.sections.size(); ++i)
        cursor[i] = map.sections[i].top + (map.sections[i].heading.isEmpty() ? 0 : cfgmap::kHeadingHeight);

    for (const Entry& e : map.entries) {
        QWidget* page = strip->page(e.page);
        const cfgmap::Section* sec = e.section >= 0 ? &map.sections[std::size_t(e.section)] : nullptr;
        int top = e.top;
        int labelLeft = 0, labelWidth = e.labelWidth, editorLeft = e.left, room = e.width;
        if (sec) {
            top = cursor[std::size_t(e.section)];
            labelLeft = sec->left;
            labelWidth = sec->labelWidth;
            editorLeft = sec->left + sec->labelWidth + kGap;
            room = sec->left + sec->width - editorLeft;
            cursor[std::size_t(e.section)] += e.editor == Editor::Check ? cfgmap::kCheckPitch : cfgmap::kRowPitch;
        } else if (labelWidth > 0) {
            labelLeft = editorLeft - labelWidth - kGap;
        }
        const int textWidth = e.width > 0 ? e.width : cfgmap::kTextWidth;
        switch (e.editor) {
        case Editor::Text: {
            txtParameter.build(page, {spec(e.reg, ctl::Kind::TextBox, editorLeft, top, textWidth, cfgmap::kTextHeight,
                                           e.initial)});
            txtParameter(e.reg)->setAlignment(Qt::AlignRight);
            if (!e.labelled)
                break;
            if (e.unitLabel)
                paramLabel(page, e, editorLeft + textWidth + 30, top + 15, 450)->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            else
                paramLabel(page, e, labelLeft, top + 15, labelWidth);
            break;
        }
        case Editor::List: {
            const int w = e.width > 0 ? e.width : listWidth(e.items, room);
            cbxParameter.build(page, {spec(e.reg, ctl::Kind::ComboBox, editorLeft, top, w, cfgmap::kListHeight)});
            if (!e.labelled)
                break;
            if (labelWidth > 0)
                paramLabel(page, e, labelLeft, top + 30, labelWidth);
            else // caption above the list
                paramLabel(page, e, editorLeft, top - cfgmap::kLabelHeight, 1500)->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            break;
        }
        case Editor::Check: {
            const int index = cfgscale::CheckIndex(e.reg, e.bit);
            const int left = sec ? sec->left + 120 : e.left;
            const int w = sec ? sec->width - 120 : (e.width > 0 ? e.width : 240);
            chkParameter.build(page, {spec(index, ctl::Kind::CheckBox, left, top, w, 240, e.caption)});
            CheckBox* c = chkParameter(index);
            c->setValue(e.ticked ? 1 : 0);
            bits_[{e.reg, e.bit}] = c;
            break;
        }
        case Editor::Reset: {
            const int modeWidth = std::min(labelWidth, 2200);
            cbxReset.build(page, {spec(e.reg, ctl::Kind::ComboBox, editorLeft - kGap - modeWidth, top, modeWidth,
                                       cfgmap::kListHeight)});
            for (const char* item : {"Automatic Reset Time:", "Manual Offset Correction:"})
                cbxReset(e.reg)->AddItem(QString::fromLatin1(item));
            txtParameter.build(page, {spec(e.reg, ctl::Kind::TextBox, editorLeft, top, textWidth, cfgmap::kTextHeight,
                                           e.initial)});
            txtParameter(e.reg)->setAlignment(Qt::AlignRight);
            paramLabel(page, e, editorLeft + textWidth + 30, top + 15, 350)->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            break;
        }
        case Editor::PattTime: {
            const int i = e.reg - cfgmap::kPattTimeFirst;
            txtPattHour.build(page, {spec(i, ctl::Kind::TextBox, editorLeft, top, 300, cfgmap::kTextHeight, e.initial)});
            staticLabel(e.page, QStringLiteral(":"), editorLeft + 300, top + 15, 90, cfgmap::kLabelHeight)
                ->setAlignment(Qt::AlignCenter);
            txtPattMin.build(page, {spec(i, ctl::Kind::TextBox, editorLeft + 390, top, 300, cfgmap::kTextHeight, e.initial)});
            txtPattHour(i)->setAlignment(Qt::AlignRight);
            txtPattMin(i)->setAlignment(Qt::AlignRight);
            break;
        }
        case Editor::DecimalPoint:
        case Editor::InputType: {
            const bool dp = e.editor == Editor::DecimalPoint;
            ControlArray<ComboBox>& list = dp ? cbxDecimalPoint : cbxInputType;
            ControlArray<QLabel>& label = dp ? lblDecimalPoint : lblInputType;
            list.build(page, {spec(g, ctl::Kind::ComboBox, editorLeft, top, std::min(dp ? 855 : 1935, room), cfgmap::kListHeight)});
            label.build(page, {spec(g, ctl::Kind::Label, labelLeft, top + 30, labelWidth, cfgmap::kLabelHeight,
                                    labelText(e.caption))});
            label(g)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            setColor(label(g), e.labelColor);
            setColor(list(g), e.labelColor);
            break;
        }
        }
    }
}

void FrmConfig::wireArrays()
{
    ctl::ArrayEvents text = onChange([this](int r) { txtParameter_Change(r); });
    text.GotFocus = [this](int r) { txtParameter_GotFocus(r); };
    text.LostFocus = [this](int r) { txtParameter_LostFocus(r); };
    txtParameter.wire(text);
    cbxParameter.wire(onClick([this](int r) { cbxParameter_Click(r); }));
    chkParameter.wire(onClick([this](int i) { chkParameter_Click(i); }));
    cbxReset.wire(onClick([this](int r) { cbxReset_Click(r); }));
    ctl::ArrayEvents hour = onChange([this](int i) { txtPattHour_Change(i); });
    hour.GotFocus = [this](int i) { txtPattHour_GotFocus(i); };
    hour.LostFocus = [this](int i) { txtPattHour_LostFocus(i); };
    txtPattHour.wire(hour);
    ctl::ArrayEvents minute = onChange([this](int i) { txtPattMin_Change(i); });
    minute.GotFocus = [this](int i) { txtPattMin_GotFocus(i); };
    minute.LostFocus = [this](int i) { txtPattMin_LostFocus(i); };
    txtPattMin.wire(minute);
    txtDescription.wire(onChange([this](int g) { txtDescription_Change(g); }));
    cbxModelID.wire(onClick([this](int g) { cbxModelID_Click(g); }));
    cbxDecimalPoint.wire(onClick([this](int g) { cbxDecimalPoint_Click(g); }));
    cbxInputType.wire(onClick([this](int g) { cbxInputType_Click(g); }));
}

CheckBox* FrmConfig::bitBox(int reg, int bit) const
{
    const auto it = bits_.find({reg, bit});
    if (it == bits_.end())
        rt::raise(rt::ErrControlArrayElement);
    return it->second;
}

QString FrmConfig::ModelID() const
{
    if (!cbxModelID.exists(gControllerGroup))
        return QString();
    return cbxModelID(gControllerGroup)->Text().right(2);
}

QString FrmConfig::GStr(int reg) const { return cfgscale::GStr(gControllerGroup, reg); }

QString FrmConfig::DecimalPointFormat(int reg, float& factor) const
{
    return cfgscale::DecimalPointFormat(reg, CurDecimalPoint, CurInputType, ModelID(), factor);
}

// ---------------------------------------------------------------- load ----

void FrmConfig::fillGroupLists(int g)
{
    const cfgmap::GroupMap& map = cfgmap::group(g);
    auto fill = [](ComboBox* list, const QStringList& items, int def) {
        list->Clear();
        for (const QString& s : items)
            list->AddItem(s);
        list->setListIndex(def);
        ctl::fitList(list);
    };
    // The group's decimal point and input type first, then its parameter lists.
    for (const Entry& e : map.entries) {
        if (e.editor == Editor::DecimalPoint) {
            quietly([&] { fill(cbxDecimalPoint(g), e.items, e.defaultIndex); });
            if (g == 2) {
                quietly([&] { cbxDecimalPoint(g)->setVisible(false); });
                quietly([&] { lblDecimalPoint(g)->setVisible(false); });
            }
            quietly([&] { CurDecimalPoint = cbxDecimalPoint(g)->ListIndex(); });
        }
    }
    for (const Entry& e : map.entries) {
        if (e.editor == Editor::InputType) {
            quietly([&] { fill(cbxInputType(g), e.items, e.defaultIndex); });
            quietly([&] { CurInputType = cbxInputType(g)->ListIndex() + (g == 0 ? 1 : 0); });
        }
    }
    for (const Entry& e : map.entries) {
        if (e.editor == Editor::List)
            quietly([&] { fill(cbxParameter(e.reg), e.items, e.defaultIndex); });
        else if (e.editor == Editor::Reset)
            quietly([&] { fill(cbxReset(e.reg), e.items, e.defaultIndex); });
    }
}

void FrmConfig::Form_Load()
{
    const int g = gControllerGroup;
    quietly([&] { lblDemoMode->setVisible(gDemoMode); });
    Loading = true;
    quietly([&] { lblProgress->setText(QString()); });
    quietly([&] { lblModelType(g)->setText(QString()); });
    quietly([&] { txtDescription(g)->setText(QString()); });
    quietly([&] { lblAutoSendFileName->setText(QString()); });
    quietly([&] { FillAddressCombo(cbxAddress, g == 0, true); });
    LoadedGroup = g;
    quietly([&] {
        for (const auto& [group, strip] : tabConfig.items())
            strip->setVisible(group == g);
        tabConfig(g)->raise();
    });
    RampSoakModelIndex = 0;
    quietly([&] {
        ComboBox* models = cbxModelID(g);
        models->Clear();
        for (int i = 1; i <= gModelCount.at(std::size_t(g)); ++i) {
            models->AddItem(gModelName[std::size_t(g)][std::size_t(i)] + QString(60, u' ')
                            + gModelID[std::size_t(g)][std::size_t(i)]);
            if (gModelID[std::size_t(g)][std::size_t(i)] == QLatin1String("RS"))
                RampSoakModelIndex = i;
        }
    });
    CurModelIndex = (gProtocolCode == QLatin1String("Z") && g == 0) ? 4 : 1;
    quietly([&] { cbxModelID(g)->setListIndex(CurModelIndex - 1); });
    quietly([&] { lblModelType(g)->setText(gModelType.at(std::size_t(g)).at(std::size_t(CurModelIndex))); });
    if (g >= 0 && g <= 2)
        fillGroupLists(g);
    Loading = false;
    SetupFormFields();
}

void FrmConfig::Form_Activate()
{
    ctl::guard(this, QStringLiteral("frmConfig.Form_Activate"), [this] {
        const int g = gControllerGroup;
        lblDemoMode->setVisible(gDemoMode);
        if (g != LoadedGroup)
            Form_Load();
        const std::array<QPushButton*, 7> navigation = {cmdMainMenu, cmdConfigureController, cmdStatus, cmdFind,
                                                        cmdSetpoints, cmdLogging, cmdGraph};
        if (!gRampCfgMode) {
            showTitle(lblTitle, QStringLiteral("Configure Instrument"));
            tabConfig(g)->setToolTip(QString());
            for (QPushButton* b : navigation)
                b->setVisible(true);
            return;
        }
        const QString fix = QStringLiteral(
            "  The ramp/soak settings cannot be editted.  To fix this click on the Communications Menu Option at "
            "the top and then Setup.");
        QString refusal, title;
        if (gProtocolCode != gRampCfgProtocol) {
            refusal = QStringLiteral("The protocol of the selected instrument does not match your current "
                                     "communications settings.")
                + fix;
            title = QStringLiteral("Protocol Does Not Match");
        } else if (gRampCfgGroup != g) {
            refusal = QStringLiteral("The controller group of the selected instrument does not match your current "
                                     "communications settings.")
                + fix;
            title = QStringLiteral("Controller Group Does Not Match");
        } else if (RampSoakModelIndex <= 0) {
            refusal = QStringLiteral("The model type file does not contain a RS type model that allows for "
                                     "ramp/soak only setup.  This function cannot be performed.");
            title = QStringLiteral("No Ramp/Soak Model Type");
        }
        if (!refusal.isEmpty()) {
            mb::MsgBox(refusal, mb::Exclamation, title, this);
            cmdMonitor_Click();
            return;
        }
        Loading = true;
        CurModelIndex = RampSoakModelIndex;
        try {
            cbxModelID(g)->setListIndex(CurModelIndex - 1);
            lblModelType(g)->setText(gModelType.at(std::size_t(g)).at(std::size_t(CurModelIndex)));
        } catch (...) {
            Loading = false;
            throw;
        }
        Loading = false;
        SetupFormFields();
        cbxAddress->setCurrentText(AddressToText(g, gRampCfgAddress));
        tabConfig(g)->setTab(1);
        showTitle(lblTitle, QStringLiteral("Configure Instrument - Ramp/Soak Only"));
        tabConfig(g)->setToolTip(QStringLiteral("Only Ramp/Soak Changes are Allowed"));
        for (QPushButton* b : navigation)
            b->setVisible(false);
        ReadControllerParameters();
    });
}

void FrmConfig::Form_Deactivate() { gRampCfgMode = false; }

void FrmConfig::Form_Unload(int& cancel)
{
    AskIfDiscardChanges(cancel);
    if (cancel)
        return;
    MainScreen::Form_Unload(cancel);
}

void FrmConfig::tabConfig_Click(int index, int previousTab)
{
    (void)previousTab;
    if (gRampCfgMode)
        tabConfig(index)->setTab(1);
}

void FrmConfig::AskIfDiscardChanges(int& cancel)
{
    cancel = 0;
    if (!Changed)
        return;
    constexpr int kYesNoCancelDefaultCancel = mb::YesNoCancel | mb::DefaultButton3; // 515
    const int answer = mb::MsgBox(QStringLiteral("Changes were made to a configuration that has not been saved to a "
                                                 "file.  Do you want to save the changes ?"),
                                  kYesNoCancelDefaultCancel, QStringLiteral("Changes Not Saved"), this);
    if (answer == mb::Cancel) {
        cancel = 1;
    } else if (answer == mb::Yes) {
        cmdSaveFile_Click();
        // A save that did not happen (dialog cancelled, write failed) keeps the edits.
        if (Changed)
            cancel = 1;
    } else {
        Changed = false;
    }
}


// ----------------------------------------------------------- layout pass ----

void FrmConfig::SetupFormFields()
{
    int current = 0;
    Loading = true;
    try {
        const int g = gControllerGroup;
        if (ModelID() == QLatin1String("TQ")) {
            CurDecimalPoint = 1;
            cbxDecimalPoint(g)->setVisible(false);
            lblDecimalPoint(g)->setVisible(false);
            tabConfig(1)->setTabEnabled(4, true);
        } else if (g == 1) {
            cbxDecimalPoint(1)->setVisible(true);
            lblDecimalPoint(1)->setVisible(true);
            tabConfig(1)->setTabEnabled(4, false);
        }
        if (CurModelIndex < 0 || CurModelIndex > kMaxModels)
            rt::raise(rt::ErrSubscript);
        const std::vector<bool>& has = gModelHasRegister[std::size_t(CurModelIndex)];
        for (int reg = 1; reg <= kMaxRegister; ++reg) {
            current = reg;
            const int kind = gCfgField[std::size_t(reg)][1];
            if (kind < 1 || kind > 3)
                continue;
            const bool present = has[std::size_t(reg)];
            if (kind == 3) {
                for (int bit = gCfgField[std::size_t(reg)][2]; bit <= gCfgField[std::size_t(reg)][3]; ++bit)
                    indexedBitBox(reg, bit)->setVisible(present);
                continue;
            }
            if (kind == 1) {
                if (reg >= cfgmap::kPattTimeFirst && reg <= cfgmap::kPattTimeLast) {
                    const int i = reg - cfgmap::kPattTimeFirst;
                    txtPattHour(i)->setVisible(present);
                    txtPattMin(i)->setVisible(present);
                    if (present) {
                        txtPattHour(i)->setText(cfgscale::FormatField(txtPattHour(i)->Text(), QStringLiteral("00")));
                        txtPattMin(i)->setText(cfgscale::FormatField(txtPattMin(i)->Text(), QStringLiteral("00")));
                    }
                } else {
                    TextBox* t = txtParameter(reg);
                    t->setVisible(present);
                    if (present) {
                        float factor = 1;
                        t->setText(cfgscale::FormatField(t->Text(), DecimalPointFormat(reg, factor)));
                    }
                }
            } else {
                cbxParameter(reg)->setVisible(present);
            }
            const bool sharedCaption = (reg >= 0x1040 && reg <= 0x1067) || (reg >= 0x2000 && reg <= 0x20BF);
            if (!sharedCaption)
                lblParamLabel(reg)->setVisible(present);
        }
        cfgrules::runGroup(g, *this, current);
    } catch (const rt::RtError& e) {
        mb::AppError(this, e, QStringLiteral("frmConfig.SetupFormFields, Parameter >") + GStr(current));
    }
    Loading = false;
}

// ------------------------------------------------------------- bit fields ----

void FrmConfig::walkBits(int reg, const QString& routine, const std::function<void(int, CheckBox*)>& step)
{
    try {
        if (reg < 0 || reg > kMaxRegister)
            rt::raise(rt::ErrSubscript);
        const auto& field = gCfgField[std::size_t(reg)];
        for (int bit = field[2]; bit <= field[3]; ++bit)
            step(bit, indexedBitBox(reg, bit));
    } catch (const rt::RtError& e) {
        mb::AppError(this, e, QStringLiteral("frmConfig.") + routine + QStringLiteral(", Parameter >") + GStr(reg));
    }
}

CheckBox* FrmConfig::indexedBitBox(int reg, int bit) const
{
    cfgscale::CheckIndex(reg, bit); // a bit beyond the index range overflows
    return bitBox(reg, bit);
}

void FrmConfig::DistributeBits(int reg, float value)
{
    walkBits(reg, QStringLiteral("DistributeBits"),
             [value](int bit, CheckBox* box) { box->setValue(BitState(bit, value) ? 1 : 0); });
}

void FrmConfig::CompressBits(int reg, int& value)
{
    value = 0;
    walkBits(reg, QStringLiteral("CompressBits"), [&value](int bit, CheckBox* box) {
        if (box->Value() == 1)
            value += bit == 15 ? -32768 : (1 << bit);
    });
}
