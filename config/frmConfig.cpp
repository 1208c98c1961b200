#include "config/frmConfig.h"

#include <QFontMetrics>
#include <QMenuBar>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <array>

#include "config/layoutrules.h"
#include "config/parammap.h"
#include "config/scaling.h"
#include "core/helpers.h"
#include "core/startup.h"
#include "core/state.h"
#include "platform/builders.h"
#include "platform/fitting.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/twips.h"
#include "shell/addresslist.h"

using namespace modZarn;
using cfgmap::Editor;
using cfgmap::Entry;
using ctl::Kind;

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

void setWhiteBackground(QWidget* w)
{
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, Qt::white);
    w->setPalette(p);
}

// The title at its usual place and size, widened or in a smaller font where
// a longer text needs it.
void showTitle(QLabel* title, const QString& text)
{
    tw::place(title, 2760, 0, 3735, 495);
    setFontOf(title, 18, true);
    title->setText(text);
    ctl::fitCentred(title);
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
    // The order is only set after a widget that takes the focus.
    QWidget* tail = previousInFocusChain();
    while (tail != this && tail->focusPolicy() == Qt::NoFocus)
        tail = tail->previousInFocusChain();
    // Each button goes right after that widget, the last first.
    for (QPushButton* b : {cmdGraph, cmdLogging, cmdMonitor, cmdSetpoints, cmdFind, cmdStatus,
                           cmdConfigureController, cmdMainMenu})
        setTabOrder(tail, b);
    setEnterMovesFocus(true);
}

void FrmConfig::buildFixedControls()
{
    const int menuHeight = menuBar->sizeHint().height();
    client = new QWidget(this);
    client->setGeometry(0, menuHeight, tw::px(kClientWidth), tw::px(kClientHeight));
    ctl::setBackColor(client, color::WindowBackground);
    setFixedSize(tw::px(kClientWidth), menuHeight + tw::px(kClientHeight));
    menuBar->setGeometry(0, 0, width(), menuHeight);

    // The top row: the file commands, the address, the instrument commands.
    struct Command {
        QPushButton* FrmConfig::*button;
        const char* name;
        const char* caption;
        int left, width;
        const char* face;
    };
    const Command commands[] = {
        {&FrmConfig::cmdReadFile, "cmdReadFile", "  Read Configuration From a File", 120, 1335, "rgb(0,192,0)"},
        {&FrmConfig::cmdSaveFile, "cmdSaveFile", "  Save Configuration To a File", 1560, 1335, "rgb(255,128,128)"},
        {&FrmConfig::cmdReadControl, "cmdReadControl", "  Read Configuration From an Instrument", 5880, 1815,
         "rgb(0,192,192)"},
        {&FrmConfig::cmdSaveControl, "cmdSaveControl", "  Send Configuration To an Instrument", 7800, 1815,
         "rgb(255,128,0)"},
    };
    for (const Command& c : commands) {
        QPushButton* b =
            ctl::button(client, QLatin1String(c.name), QLatin1String(c.caption), c.left, 600, c.width, 855);
        b->setStyleSheet(QStringLiteral("background-color: %1").arg(QLatin1String(c.face)));
        setFontOf(b, 9.75, false);
        this->*c.button = b;
    }
    lblAddress = ctl::label(client, QStringLiteral("Address:"), 3600, 645, 735, 255);
    lblAddress->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setWhiteBackground(lblAddress);
    cbxAddress = ctl::comboBox(client, QStringLiteral("cbxAddress"), 4440, 600, 855, 315);

    lblTitle = ctl::label(client, QString(), 2760, 0, 3735, 495);
    lblTitle->setAlignment(Qt::AlignCenter);
    showTitle(lblTitle, QStringLiteral("Configure Instrument"));
    setColor(lblTitle, kHeadingColor);
    setWhiteBackground(lblTitle);
    lblDemoMode = ctl::label(client, QStringLiteral("Demo Mode"), 120, 120, 1095, 255);
    setFontOf(lblDemoMode, 0, true);
    setColor(lblDemoMode, 0xFF0000);
    lblProgress = ctl::label(client, QStringLiteral("lblProgress"), 6360, 360, 2775, 255);
    lblProgress->setAlignment(Qt::AlignCenter);
    setFontOf(lblProgress, 0, true);
    setColor(lblProgress, 0xFF8000);
    lblAutoSendFileName = ctl::label(client, QStringLiteral("lblAutoSendFileName"), 600, kNavTop + 660, 7815, 255);
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
    // Focus runs read file, save file, address, read, send.
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

    // A caption that belongs to no register: the next element of lblLabels.
    auto caption = [this](QWidget* page, const QString& text, int left, int top, int width, int height) {
        const int i = lblLabels.uBound() + 1;
        lblLabels.build(page, {ControlSpec{i, Kind::Label, left, top, width, height, labelText(text)}});
        return lblLabels(i);
    };
    auto paramLabel = [&](QWidget* page, const Entry& e, int left, int top, int width) {
        lblParamLabel.build(page, {ControlSpec{e.reg, Kind::Label, left, top, width, cfgmap::kLabelHeight,
                                        labelText(e.caption)}});
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
    caption(general, QStringLiteral("Model ID:"), 120, map.modelTop + 30, 1140, cfgmap::kLabelHeight)
        ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cbxModelID.build(general, {ControlSpec{g, Kind::ComboBox, 1320, map.modelTop, 2415, cfgmap::kListHeight, {}}});
    lblModelType.build(general, {ControlSpec{g, Kind::Label, 3840, map.modelTop + 30, 3855, cfgmap::kLabelHeight,
                                      QStringLiteral("lblModelType")}});
    setFontOf(lblModelType(g), 9.75, false);
    setColor(lblModelType(g), 0x0000C0);
    caption(general, QStringLiteral("Description:"), 120, map.descriptionTop + 15, 1140, cfgmap::kLabelHeight)
        ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    txtDescription.build(general, {ControlSpec{g, Kind::TextBox, 1320, map.descriptionTop, 3495, cfgmap::kTextHeight,
                                        QStringLiteral("txtDescription")}});

    for (const cfgmap::Section& s : map.sections) {
        if (s.heading.isEmpty())
            continue;
        QLabel* h = caption(strip->page(s.page), s.heading, s.left, s.top, s.width, cfgmap::kLabelHeight);
        h->setAlignment(Qt::AlignCenter);
        setFontOf(h, 8.25, true, true);
        setColor(h, kHeadingColor);
    }
    for (const cfgmap::StaticLabel& l : map.labels) {
        QLabel* w = caption(strip->page(l.page), l.text, l.left, l.top, l.width, l.height);
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
            txtParameter.build(page, {ControlSpec{e.reg, Kind::TextBox, editorLeft, top, textWidth, cfgmap::kTextHeight,
                                           e.initial}});
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
            cbxParameter.build(page, {ControlSpec{e.reg, Kind::ComboBox, editorLeft, top, w, cfgmap::kListHeight, {}}});
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
            chkParameter.build(page, {ControlSpec{index, Kind::CheckBox, left, top, w, 240, e.caption}});
            CheckBox* c = chkParameter(index);
            c->setValue(e.ticked ? 1 : 0);
            bits_[{e.reg, e.bit}] = c;
            break;
        }
        case Editor::Reset: {
            const int modeWidth = std::min(labelWidth, 2200);
            cbxReset.build(page, {ControlSpec{e.reg, Kind::ComboBox, editorLeft - kGap - modeWidth, top, modeWidth,
                                       cfgmap::kListHeight, {}}});
            for (const char* item : {"Automatic Reset Time:", "Manual Offset Correction:"})
                cbxReset(e.reg)->AddItem(QString::fromLatin1(item));
            txtParameter.build(page, {ControlSpec{e.reg, Kind::TextBox, editorLeft, top, textWidth, cfgmap::kTextHeight,
                                           e.initial}});
            txtParameter(e.reg)->setAlignment(Qt::AlignRight);
            paramLabel(page, e, editorLeft + textWidth + 30, top + 15, 350)->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            ctl::fitList(cbxReset(e.reg)); // its items as created, until a load fills the group's own
            break;
        }
        case Editor::PattTime: {
            const int i = e.reg - cfgmap::kPattTimeFirst;
            txtPattHour.build(page, {ControlSpec{i, Kind::TextBox, editorLeft, top, 300, cfgmap::kTextHeight,
                                                 e.initial}});
            caption(page, QStringLiteral(":"), editorLeft + 300, top + 15, 90, cfgmap::kLabelHeight)
                ->setAlignment(Qt::AlignCenter);
            txtPattMin.build(page, {ControlSpec{i, Kind::TextBox, editorLeft + 390, top, 300, cfgmap::kTextHeight,
                                                e.initial}});
            txtPattHour(i)->setAlignment(Qt::AlignRight);
            txtPattMin(i)->setAlignment(Qt::AlignRight);
            break;
        }
        case Editor::DecimalPoint:
        case Editor::InputType: {
            const bool dp = e.editor == Editor::DecimalPoint;
            ControlArray<ComboBox>& list = dp ? cbxDecimalPoint : cbxInputType;
            ControlArray<QLabel>& label = dp ? lblDecimalPoint : lblInputType;
            const int w = std::min(dp ? 855 : 1935, room);
            list.build(page, {ControlSpec{g, Kind::ComboBox, editorLeft, top, w, cfgmap::kListHeight, {}}});
            label.build(page, {ControlSpec{g, Kind::Label, labelLeft, top + 30, labelWidth, cfgmap::kLabelHeight,
                                    labelText(e.caption)}});
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
    // The text fields answer Change, GotFocus and LostFocus.
    using Handler = void (FrmConfig::*)(int);
    const auto textEvents = [this](Handler change, Handler gotFocus, Handler lostFocus) {
        ctl::ArrayEvents e;
        e.Change = [this, change](int i) { (this->*change)(i); };
        if (gotFocus)
            e.GotFocus = [this, gotFocus](int i) { (this->*gotFocus)(i); };
        if (lostFocus)
            e.LostFocus = [this, lostFocus](int i) { (this->*lostFocus)(i); };
        return e;
    };
    txtParameter.wire(textEvents(&FrmConfig::txtParameter_Change, &FrmConfig::txtParameter_GotFocus,
                                 &FrmConfig::txtParameter_LostFocus));
    txtPattHour.wire(textEvents(&FrmConfig::txtPattHour_Change, &FrmConfig::txtPattHour_GotFocus,
                                &FrmConfig::txtPattHour_LostFocus));
    txtPattMin.wire(textEvents(&FrmConfig::txtPattMin_Change, &FrmConfig::txtPattMin_GotFocus,
                               &FrmConfig::txtPattMin_LostFocus));
    txtDescription.wire(textEvents(&FrmConfig::txtDescription_Change, nullptr, nullptr));
    cbxParameter.wire(ctl::clickEvents([this](int r) { cbxParameter_Click(r); }));
    chkParameter.wire(ctl::clickEvents([this](int i) { chkParameter_Click(i); }));
    cbxReset.wire(ctl::clickEvents([this](int r) { cbxReset_Click(r); }));
    cbxModelID.wire(ctl::clickEvents([this](int g) { cbxModelID_Click(g); }));
    cbxDecimalPoint.wire(ctl::clickEvents([this](int g) { cbxDecimalPoint_Click(g); }));
    cbxInputType.wire(ctl::clickEvents([this](int g) { cbxInputType_Click(g); }));
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
    // A list that cannot be filled is passed over and the next one filled.
    auto fill = [](ComboBox* list, const QStringList& items, int def) {
        ctl::skipOnFailure([&] {
            list->Clear();
            for (const QString& s : items)
                list->AddItem(s);
            list->setListIndex(def);
            ctl::fitList(list);
        });
    };
    // The group's decimal point and input type first, then its parameter lists.
    for (const Entry& e : map.entries) {
        if (e.editor == Editor::DecimalPoint) {
            fill(cbxDecimalPoint(g), e.items, e.defaultIndex);
            if (g == 2) {
                cbxDecimalPoint(g)->setVisible(false);
                lblDecimalPoint(g)->setVisible(false);
            }
            CurDecimalPoint = cbxDecimalPoint(g)->ListIndex();
        }
    }
    for (const Entry& e : map.entries) {
        if (e.editor == Editor::InputType) {
            fill(cbxInputType(g), e.items, e.defaultIndex);
            CurInputType = cbxInputType(g)->ListIndex() + (g == 0 ? 1 : 0);
        }
    }
    for (const Entry& e : map.entries) {
        if (e.editor == Editor::List)
            fill(cbxParameter(e.reg), e.items, e.defaultIndex);
        else if (e.editor == Editor::Reset)
            fill(cbxReset(e.reg), e.items, e.defaultIndex);
    }
    TabStrip* strip = tabConfig(g);
    for (int t = 0; t < strip->Tabs(); ++t)
        ctl::evenListFonts(strip->page(t));
}

// Builds the screen for the current group. Every step that needs the group's
// widgets or models is tried on its own: one that fails (a group without
// widgets, a model table too short) is passed over and the load goes on.
void FrmConfig::Form_Load()
{
    const int g = gControllerGroup;
    const auto step = ctl::skipOnFailure;
    lblDemoMode->setVisible(gDemoMode);
    {
        const QScopedValueRollback loading(Loading, true);
        lblProgress->setText(QString());
        step([&] { lblModelType(g)->setText(QString()); });
        step([&] { txtDescription(g)->setText(QString()); });
        lblAutoSendFileName->setText(QString());
        FillAddressCombo(cbxAddress, g == 0, true);
        LoadedGroup = g;
        step([&] {
            for (const auto& [group, strip] : tabConfig.items())
                strip->setVisible(group == g);
            tabConfig(g)->raise();
        });
        RampSoakModelIndex = 0;
        step([&] {
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
        step([&] { cbxModelID(g)->setListIndex(CurModelIndex - 1); });
        step([&] { lblModelType(g)->setText(gModelType.at(std::size_t(g)).at(std::size_t(CurModelIndex))); });
        if (g >= 0 && g <= 2)
            fillGroupLists(g);
    }
    SetupFormFields();
}

void FrmConfig::Form_Activate()
{
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
    CurModelIndex = RampSoakModelIndex;
    {
        const QScopedValueRollback loading(Loading, true);
        cbxModelID(g)->setListIndex(CurModelIndex - 1);
        lblModelType(g)->setText(gModelType.at(std::size_t(g)).at(std::size_t(CurModelIndex)));
    }
    SetupFormFields();
    cbxAddress->setCurrentText(AddressToText(g, gRampCfgAddress));
    tabConfig(g)->setTab(1);
    showTitle(lblTitle, QStringLiteral("Configure Instrument - Ramp/Soak Only"));
    tabConfig(g)->setToolTip(QStringLiteral("Only Ramp/Soak Changes are Allowed"));
    for (QPushButton* b : navigation)
        b->setVisible(false);
    ReadControllerParameters();
}

void FrmConfig::Form_Deactivate() { gRampCfgMode = false; }

// However the program is ended, from this screen or from another while this
// one is hidden with its edits, the edits are asked about first.
void FrmConfig::AskBeforeProgramEnds(int& cancel, QWidget* closing) { AskIfDiscardChanges(cancel, closing); }

void FrmConfig::tabConfig_Click(int index, int previousTab)
{
    (void)previousTab;
    if (gRampCfgMode)
        tabConfig(index)->setTab(1);
}

void FrmConfig::AskIfDiscardChanges(int& cancel, QWidget* asker)
{
    cancel = 0;
    if (!Changed)
        return;
    const int answer = mb::MsgBox(QStringLiteral("Changes were made to a configuration that has not been saved to a "
                                                 "file.  Do you want to save the changes ?"),
                                  mb::YesNoCancel | mb::DefaultButton3, QStringLiteral("Changes Not Saved"),
                                  asker ? asker : this);
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
    // The pass ends with Loading cleared, whatever it was when it began: its
    // callers have finished filling controls by the time they lay them out.
    Loading = true;
    const auto done = qScopeGuard([this] { Loading = false; });
    const auto routine = [&] { return QStringLiteral("frmConfig.SetupFormFields, Parameter >") + GStr(current); };
    ctl::guard(this, routine, [&] {
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
    });
}

// ------------------------------------------------------------- bit fields ----

void FrmConfig::walkBits(int reg, const QString& routine, const std::function<void(int, CheckBox*)>& step)
{
    const auto where = [&] {
        return QStringLiteral("frmConfig.") + routine + QStringLiteral(", Parameter >") + GStr(reg);
    };
    ctl::guard(this, where, [&] {
        if (reg < 0 || reg > kMaxRegister)
            rt::raise(rt::ErrSubscript);
        const auto& field = gCfgField[std::size_t(reg)];
        for (int bit = field[2]; bit <= field[3]; ++bit)
            step(bit, indexedBitBox(reg, bit));
    });
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
