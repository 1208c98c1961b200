#pragma once
// Test support: checks that every caption on a form can be read in full.
//
// The check walks the form's buttons (plain and wrapping command buttons),
// check boxes, option buttons, labels and group boxes, lays each caption out
// as the control draws it (its own font, access-key '&' removed, command
// buttons wrapped at word breaks) and reports a caption that is wider or
// taller than the room the control gives it, or that runs past the edge of a
// frame or form holding the control. Hidden controls are checked too: they
// are cut when they are shown.
#include <QString>
#include <QStringList>

class QWidget;

// One line per cut caption: the control's name (or class), its caption and
// how much room it needs against what it has. Empty when everything fits.
QStringList cutCaptions(QWidget* form);

// Saves `form` as drawn offscreen to <test program folder>/grabs/<name>.png
// (name: the form's object name unless given) and returns the file's path.
QString grabForm(QWidget* form, const QString& name = QString());

// Grabs the form, then fails the running test with one message per cut caption.
void expectCaptionsFit(QWidget* form, const QString& name = QString());
