#pragma once
// The configuration screen's parameter map: for each controller group its tab
// pages, the section columns of each page and one entry per parameter widget
// (register, editor, page, section, caption, list items, initial state). The
// screen builds every widget from these tables; nothing is placed by hand.
// Positions are twips relative to the tab page.
#include <QString>
#include <QStringList>
#include <vector>

namespace cfgmap {

enum class Editor {
    Text,         // txtParameter(reg) with lblParamLabel(reg) in front
    List,         // cbxParameter(reg) with lblParamLabel(reg) in front
    Check,        // chkParameter(index of reg, bit), captioned itself
    Reset,        // cbxReset(reg) in the caption's place, txtParameter(reg), unit label behind
    PattTime,     // txtPattHour / txtPattMin (reg - 2080H) with ":" between
    DecimalPoint, // the group's cbxDecimalPoint with lblDecimalPoint
    InputType,    // the group's cbxInputType with lblInputType
};

constexpr int kNoColor = -1;

struct Entry {
    int reg = 0;
    Editor editor = Editor::Text;
    int bit = 0;              // check boxes
    int page = 0;
    int section = -1;         // column the entry flows in; -1 = placed at left/top
    QString caption;          // label caption (a check box's own caption)
    QString initial;          // text field: initial text
    bool ticked = false;      // check box: initial state
    QStringList items;        // lists: the fixed items, in list order
    int defaultIndex = 0;     // lists: the item selected at load
    bool labelled = true;     // text and list entries: has lblParamLabel(reg)
    int labelColor = kNoColor; // 0xRRGGBB
    // Explicit placement (grid rows); width 0 takes the editor's usual width.
    int left = 0, top = 0, width = 0, labelWidth = 0;
    bool unitLabel = false;   // text entry followed by its lblParamLabel(reg) "Unit" (step times)
};

// A column of a page: entries flow down from its top under its heading.
struct Section {
    int page = 0;
    QString heading;          // empty: no heading
    int left = 0, top = 0, width = 0, labelWidth = 0;
};

// A caption that belongs to no register (grid titles, notes): lblLabels.
struct StaticLabel {
    int page = 0;
    QString text;
    int left = 0, top = 0, width = 0, height = 255;
    bool centred = false;
    bool emphasis = false;    // pattern headings and notes: 9.75 pt dark blue
};

struct GroupMap {
    int group = 0;
    QStringList tabs;
    std::vector<Section> sections;
    std::vector<Entry> entries;     // in focus order within each page
    std::vector<StaticLabel> labels;
    // Placement of the per-group widgets on page 0.
    int modelTop = 0, descriptionTop = 0;
};

// The map of controller group 0, 1 or 2.
const GroupMap& group(int g);

// Layout metrics shared by the builder of the screen.
constexpr int kRowPitch = 300;
constexpr int kCheckPitch = 240;
constexpr int kHeadingHeight = 270;
constexpr int kTextWidth = 735;
constexpr int kTextHeight = 285;
constexpr int kListHeight = 315;
constexpr int kLabelHeight = 255;
constexpr int kPageWidth = 9735;

// Ramp/soak step times of group 1: 2080H..20BFH, the pair index is reg - 2080H.
constexpr int kPattTimeFirst = 0x2080;
constexpr int kPattTimeLast = 0x20BF;
constexpr int kReset1 = 274, kReset4 = 277;

} // namespace cfgmap
