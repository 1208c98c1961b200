// The parameter file: one instrument's configuration as the screen shows it,
// five quoted header lines (address, description, protocol and group; model;
// decimal point; input type; ramp/soak marker), then one line per register
// of the model with its value in display units.
#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QStringList>
#include <cmath>
#include <vector>

#include "config/fieldrule.h"
#include "config/frmConfig.h"
#include "config/parammap.h"
#include "config/scaling.h"
#include "config/transfer.h"
#include "core/helpers.h"
#include "core/state.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/runtime.h"
#include "platform/textfile.h"

using namespace modZarn;
using cfgxfer::FieldKind;
using cfgxfer::PlainNumber;

namespace {

// A text item of a header line. A double quote inside the text is doubled so
// that the item reads back whole; texts without one are written as they are.
QString Quoted(const QString& text)
{
    QString inner = text;
    inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

// Splits a line into its items at commas. A quoted item runs to its closing
// quote, commas included, and a doubled quote inside it stands for one;
// anything after the closing quote up to the next comma is dropped. Blanks
// around an unquoted item are dropped.
QStringList SplitItems(const QString& line)
{
    QStringList items;
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (true) {
        while (i < n && (line[i] == u' ' || line[i] == u'\t'))
            ++i;
        QString item;
        if (i < n && line[i] == u'"') {
            ++i;
            while (i < n) {
                if (line[i] == u'"') {
                    if (i + 1 < n && line[i + 1] == u'"') {
                        item += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += line[i++];
            }
            while (i < n && line[i] != u',')
                ++i;
        } else {
            const qsizetype start = i;
            while (i < n && line[i] != u',')
                ++i;
            item = rt::Trim(line.mid(start, i - start));
        }
        items << item;
        if (i >= n)
            break;
        ++i; // the comma
    }
    return items;
}

QString ProtocolName(const QString& code)
{
    if (code == QLatin1String("Z"))
        return QStringLiteral("Zarn Link");
    if (code == QLatin1String("A"))
        return QStringLiteral("Modbus ASCII");
    return QStringLiteral("Modbus RTU");
}

// The register key of a data line, as the file names the register: decimal in group 0, four hex digits
// and "H" in groups 1 and 2.
QString RegisterKey(int reg)
{
    return gControllerGroup == 0 ? QString::number(reg) : Hex4(float(reg)) + QLatin1Char('H');
}

// A refusal of the loader: a critical box; the caller gives the file up.
struct Refusal {
    QString title, text;
};

// A refused number as the messages quote it: a blank before one of 0 or more.
QString Refused(int n) { return rt::Str(n); }

bool InputTypeAccepted(int g, int n)
{
    switch (g) {
    case 0: return n >= 1 && n <= 17;
    case 1: return n >= 0 && n <= 17;
    case 2: return n >= 0 && n <= 18;
    default: return false;
    }
}

// A parameter file as read and checked, before anything of it reaches the
// screen.
struct ParamFile {
    QString address, description;
    int slot = 0;
    QString typeCaption;
    int decimalPoint = 0, inputType = 0;
    bool rampRegPresent = false;
    struct Line {
        int reg;
        double value;
        QString text; // the value as the file writes it
    };
    std::vector<Line> lines;
};

// The items of the next line, which must hold exactly `count`: a missing
// line or item, or one too many, is a file that cannot be read.
QStringList LineItems(rt::InputFile& in, int count)
{
    const QStringList items = SplitItems(in.lineInput());
    if (items.size() < count)
        rt::raise(rt::ErrInputPastEnd);
    if (items.size() > count)
        rt::raise(rt::ErrTypeMismatch);
    return items;
}

// A number item: the whole item must be a number; an empty item is none.
double NumberItem(const QString& item)
{
    double v = 0;
    if (!rt::IsNumeric(item, &v))
        rt::raise(rt::ErrTypeMismatch);
    return v;
}

// The register of a data line: hexadecimal before a final "H" in any group,
// else decimal. `current` names the line's register as soon as it has been
// read, so that a register out of range is reported by its own number.
int RegisterItem(const QString& item, int& current)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]+H$"));
    double number = 0;
    if (!item.endsWith(u'H'))
        number = NumberItem(item);
    else if (hex.match(item).hasMatch())
        number = rt::Val(QStringLiteral("&H") + item.chopped(1));
    else
        rt::raise(rt::ErrTypeMismatch);
    if (std::fabs(number) < 1e9)
        current = int(rt::RoundHalfEven(number));
    const int reg = rt::CInt(number);
    if (reg < 0 || reg > kMaxRegister)
        rt::raise(rt::ErrSubscript);
    return reg;
}

// Reads the whole file for group `g`; a refusal throws Refusal, a file
// that cannot be read a run-time error, with `current` the register of the
// data line being read (0 before them).
ParamFile ReadParamFile(const QString& fileName, int g, int& current)
{
    rt::InputFile in(fileName);
    ParamFile p;

    const QStringList first = LineItems(in, 3);
    const QString groupAndProtocol = first[2];
    const QString upper = groupAndProtocol.toUpper();
    if (rt::Val(groupAndProtocol.right(1)) != g
        || (upper.contains(QLatin1String("MODBUS ASCII")) && gProtocolCode != QLatin1String("A"))
        || (upper.contains(QLatin1String("MODBUS RTU")) && gProtocolCode != QLatin1String("R"))
        || (upper.contains(QLatin1String("ZARN")) && gProtocolCode != QLatin1String("Z")))
        throw Refusal{QStringLiteral("Invalid Controller Group and Protocol Parameter"),
                      QStringLiteral("The Controller Group and/or Protocol Type setting >") + groupAndProtocol
                          + QStringLiteral(" found in parameter file >") + fileName
                          + QStringLiteral(" does not match your current communications settings.  This "
                                           "parameter file cannot be loaded.  To fix this click on the "
                                           "Communications Menu Option at the top and then Setup.")};
    p.address = first[0];
    p.description = first[1];

    const QStringList second = LineItems(in, 2);
    const QString modelID = gRampCfgMode ? QStringLiteral("RS") : second[0];
    QString modelName;
    p.typeCaption = LookupModel(g, modelID, p.slot, modelName);
    if (p.slot == 0)
        throw Refusal{QStringLiteral("Invalid Model ID"),
                      QStringLiteral("The Model ID >") + modelID + QStringLiteral(" found in parameter file >")
                          + fileName
                          + QStringLiteral(" does not exist as a valid model ID.  This parameter file cannot "
                                           "be loaded.")};

    p.decimalPoint = rt::CInt(NumberItem(LineItems(in, 2)[1]));
    if (!cfgrule::DecimalPointAccepted(g, p.decimalPoint, gModelID[g][std::size_t(p.slot)]))
        throw Refusal{QStringLiteral("Invalid Decimal Point Parameter"),
                      QStringLiteral("The Decimal Point (DPT) setting >") + Refused(p.decimalPoint)
                          + QStringLiteral(" found in parameter file >") + fileName
                          + QStringLiteral(" is invalid.  This parameter file cannot be loaded.")};

    p.inputType = rt::CInt(NumberItem(LineItems(in, 2)[1]));
    if (!InputTypeAccepted(g, p.inputType))
        throw Refusal{QStringLiteral("Invalid Input Type Parameter"),
                      QStringLiteral("The Input Type (INP) setting >") + Refused(p.inputType)
                          + QStringLiteral(" found in parameter file >") + fileName
                          + QStringLiteral(" is invalid.  This parameter file cannot be loaded.")};

    // "1Parameter": the number its leading digits make.
    p.rampRegPresent = rt::Val(LineItems(in, 2)[1]) == 1;

    // Every line the program writes is ended: a last line without its end
    // may have lost digits ("-19.3" cut to "-1") and still read as a number.
    if (!in.lastLineEnded())
        throw Refusal{QStringLiteral("Incomplete Parameter File"),
                      QStringLiteral("The last line of parameter file >") + fileName
                          + QStringLiteral(" has no line end: the file was cut short.  This parameter file cannot "
                                           "be loaded.")};

    while (!in.eof()) {
        const QString line = in.lineInput();
        // A blank line holds no register: nothing to load.
        if (line.trimmed().isEmpty())
            continue;
        current = 0;
        const QStringList items = SplitItems(line);
        current = RegisterItem(items[0], current);
        if (items.size() != 2)
            rt::raise(items.size() < 2 ? rt::ErrInputPastEnd : rt::ErrTypeMismatch);
        p.lines.push_back({current, NumberItem(items[1]), items[1]});
    }
    return p;
}

// A data value its field cannot hold refuses the whole file: sent to an
// instrument it would be cut, refused half-way through the send, or taken
// as a setting nobody chose.
void CheckValue(const FrmConfig& f, const ParamFile& p, int g, const ParamFile::Line& l, const QString& fileName)
{
    const int kind = FieldKind(l.reg);
    if (kind < 1 || kind > 3)
        return;
    const cfgrule::Range r
        = cfgrule::RangeOf(f, {p.decimalPoint, p.inputType, gModelID[g][std::size_t(p.slot)]}, l.reg);
    if (cfgrule::Holds(r, l.value))
        return;
    // A value with more decimals than its field would go out cut; a list
    // position or bit pattern with a fraction would choose a setting.
    const QString why = cfgrule::FitsDecimals(r, l.value)
        ? QStringLiteral(" is outside the range ") + cfgrule::RangeText(r) + QStringLiteral(" that its field allows")
        : QStringLiteral(" has more decimal places than its field holds: ") + cfgrule::DecimalsText(r);
    throw Refusal{QStringLiteral("Invalid Parameter Value"),
                  QStringLiteral("The value >") + l.text + QStringLiteral(" of register") + f.GStr(l.reg)
                      + QStringLiteral(" found in parameter file >") + fileName + why
                      + QStringLiteral(".  This parameter file cannot be loaded.")};
}

// Every register the model has must have its line: a file short of one
// would send whatever the screen happened to hold for it.
void CheckComplete(const FrmConfig& f, const ParamFile& p, int g, const QString& fileName)
{
    std::vector<bool> found(std::size_t(kMaxRegister) + 1);
    for (const ParamFile::Line& l : p.lines)
        found[std::size_t(l.reg)] = true;
    const std::vector<bool>& has = gModelHasRegister[std::size_t(p.slot)];
    std::vector<int> missing;
    for (int reg = 1; reg <= kMaxRegister; ++reg) {
        const int kind = FieldKind(reg);
        if (has[std::size_t(reg)] && kind >= 1 && kind <= 3 && !found[std::size_t(reg)])
            missing.push_back(reg);
    }
    if (missing.empty())
        return;
    const QString model = gModelID[g][std::size_t(p.slot)];
    QString first = QStringLiteral("register") + f.GStr(missing.front());
    if (const QString label = cfgxfer::FieldLabel(f, missing.front()); !label.isEmpty())
        first += u' ' + label;
    throw Refusal{QStringLiteral("Incomplete Parameter File"),
                  QStringLiteral("The parameter file >") + fileName
                      + (missing.size() == 1 ? QStringLiteral(" has no line for ") + first
                                                   + QStringLiteral(", which model ") + model + QStringLiteral(" has")
                                             : QStringLiteral(" has no lines for ") + QString::number(missing.size())
                                                   + QStringLiteral(" registers that model ") + model
                                                   + QStringLiteral(" has, the first ") + first)
                      + QStringLiteral(".  This parameter file cannot be loaded.")};
}

} // namespace

void FrmConfig::SaveParameterFile(QString fileName)
{
    int current = 0;
    const auto routine = [&] {
        return QStringLiteral("frmConfig.SaveParameterFile, Parameter >") + GStr(current) + QStringLiteral(". File >")
            + fileName;
    };
    // A field typed in and not yet left takes its own rule first, and the
    // file holds only what its fields can hold, so that it loads again.
    CompleteEntry();
    ctl::guard(this, routine, [&] {
        if (!cfgrule::DecimalPointSaveable(*this) || !cfgrule::AgreeToLimits(*this, QStringLiteral("save the configuration")))
            return;
        const int g = gControllerGroup;
        // The file is written beside the target and put in its place only
        // when complete: a failing save leaves the old file as it was.
        rt::OutputFile out(fileName, rt::OutputFile::Replace);
        const QString modelText = cbxModelID(g)->Text();
        out.printLine(Quoted(cbxAddress->Text()) + u',' + Quoted(txtDescription(g)->Text()) + u','
                      + Quoted(ProtocolName(gProtocolCode) + u'-' + QString::number(g)));
        out.printLine(Quoted(modelText.right(2)) + u','
                      + Quoted(rt::Trim(modelText.left(modelText.size() - 2)) + u' ' + lblModelType(g)->text()));
        out.printLine(Quoted(QStringLiteral("DPT")) + u',' + QString::number(CurDecimalPoint));
        out.printLine(Quoted(QStringLiteral("INP")) + u',' + QString::number(CurInputType));
        out.printLine(Quoted(QStringLiteral("Register")) + u','
                      + Quoted(RampRegPresent && gRampCfgMode ? QStringLiteral("1Parameter")
                                                              : QStringLiteral("Parameter")));
        if (CurModelIndex < 0 || CurModelIndex > kMaxModels)
            rt::raise(rt::ErrSubscript);
        const std::vector<bool>& has = gModelHasRegister[std::size_t(CurModelIndex)];
        for (int reg = 1; reg <= kMaxRegister; ++reg) {
            const int kind = FieldKind(reg);
            if (!has[std::size_t(reg)] || kind < 1 || kind > 3)
                continue;
            current = reg;
            QString value;
            if (kind == 1) {
                value = PlainNumber(cfgrule::ScreenValue(*this, reg));
            } else if (kind == 2) {
                value = QString::number(cbxParameter(reg)->ListIndex());
            } else {
                int packed = 0;
                CompressBits(reg, packed);
                value = QString::number(packed);
            }
            out.printLine(RegisterKey(reg) + u',' + value);
        }
        out.close();
        Changed = false;
    });
}

int FrmConfig::ReadParameterFile(QString fileName)
{
    const int g = gControllerGroup;
    int current = 0;
    // A file that is refused or fails to load leaves the unsaved-edits mark
    // as it was: what the screen holds has not become a saved configuration.
    const bool changedBefore = Changed;
    bool loaded = false;
    const auto routine = [&] {
        return QStringLiteral("frmConfig.ReadParameterFile, Parameter >") + GStr(current) + QStringLiteral(". File >")
            + fileName;
    };
    ctl::guard(this, routine, [&] {
        // The whole file is read and checked first: a file that is refused
        // or cannot be read changes nothing on the screen.
        ParamFile file;
        try {
            file = ReadParamFile(fileName, g, current);
            for (const ParamFile::Line& l : file.lines) {
                current = l.reg;
                CheckValue(*this, file, g, l, fileName);
                loadDataLine(l.reg, rt::CSng(l.value), false);
            }
            current = 0;
            CheckComplete(*this, file, g, fileName);
        } catch (const Refusal& r) {
            mb::MsgBox(r.text, mb::Critical, r.title, this);
            return;
        }
        current = 0;

        {
            const QScopedValueRollback loading(Loading, true);
            // An address the list does not hold leaves the one shown.
            const int addressItem = cbxAddress->findText(file.address, Qt::MatchFixedString | Qt::MatchCaseSensitive);
            if (addressItem >= 0)
                cbxAddress->setListIndex(addressItem);
            txtDescription(g)->setText(file.description);
            // The model list holds the group's models in table order.
            cbxModelID(g)->setListIndex(file.slot - 1);
            lblModelType(g)->setText(file.typeCaption);
            CurModelIndex = file.slot;
            cbxDecimalPoint(g)->setListIndex(file.decimalPoint);
            CurDecimalPoint = file.decimalPoint;
            cbxInputType(g)->setListIndex(g == 0 ? file.inputType - 1 : file.inputType);
            CurInputType = file.inputType;
            RampRegPresent = file.rampRegPresent;
            for (const ParamFile::Line& l : file.lines) {
                current = l.reg;
                loadDataLine(l.reg, float(l.value), true);
            }
        }
        SetupFormFields();
        Changed = false;
        loaded = true;
    });
    if (loaded)
        return 0;
    Changed = changedBefore;
    return -1;
}

// One data line into its widgets; with `write` false only what writing
// would need is checked (the widgets exist, the numbers fit them), so that a
// line that cannot be loaded is found before anything is written.
void FrmConfig::loadDataLine(int reg, float value, bool write)
{
    const int kind = FieldKind(reg);
    if (kind == 1) {
        if (reg >= cfgmap::kReset1 && reg <= cfgmap::kReset4) {
            ComboBox* mode = cbxReset(reg);
            const int position = value < 0 ? 0 : 1;
            if (write)
                mode->setListIndex(position);
            else if (position >= mode->ListCount())
                rt::raise(rt::ErrInvalidPropertyValue);
            value = std::fabs(value);
        }
        if (reg >= cfgmap::kPattTimeFirst && reg <= cfgmap::kPattTimeLast) {
            const int i = reg - cfgmap::kPattTimeFirst;
            const QString hours = rt::Format(std::floor(value / 60), QStringLiteral("00"));
            const QString minutes = rt::Format(rt::CLng(value) % 60, QStringLiteral("00"));
            TextBox* hourField = txtPattHour(i);
            TextBox* minuteField = txtPattMin(i);
            if (write) {
                hourField->setText(hours);
                minuteField->setText(minutes);
            }
        } else {
            TextBox* field = txtParameter(reg);
            float factor = 1;
            if (write)
                field->setText(rt::Format(value, DecimalPointFormat(reg, factor)));
        }
    } else if (kind == 2) {
        ComboBox* list = cbxParameter(reg);
        if (write)
            list->setListIndex(rt::CInt(value));
    } else if (kind == 3) {
        rt::CLng(value);
        if (write) {
            DistributeBits(reg, value);
        } else {
            const auto& field = gCfgField[std::size_t(reg)];
            for (int bit = field[2]; bit <= field[3]; ++bit)
                indexedBitBox(reg, bit);
        }
    }
}
