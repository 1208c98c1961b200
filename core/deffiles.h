#pragma once
// Readers of the definition files that lie beside the program: models and
// their register lists, the configuration field table, the "Zarn Link"
// command table, the Modbus register tables of groups 1 and 2 and the write
// password. The program never writes these files.
#include <QString>

namespace modZarn {

// Model file (ModelID.txt, ModelID-1.txt in the private-label edition), and
// the register file of every model of the current controller group.
void ReadModelFile();
// Register file <ModelID>.TXT of one model into row ModelIndex (1..15) of the
// presence table.
void ReadModelRegisters(int Group, const QString& ModelID, int ModelIndex);
void ReadCfgFieldFile();
void ReadZarnXrefFile();
void ReadxxGXrefFile();
void ReadxxHXrefFile();
void ReadPasswordFile();
// Every definition file in start-up order: models (with the current group's
// register files), field table, the three cross-reference tables, password.
void ReadDefinitionFiles();

} // namespace modZarn
