#pragma once
// Every caption of a form (buttons, check and option boxes, labels, frames;
// hidden ones too) laid out as its control draws it, and reported when it
// needs more room than it has or runs past a frame or the form; and every
// item of its lists that the closed list cannot show whole.
#include <QString>
#include <QStringList>

class QWidget;

// One line per cut caption; empty when everything fits.
QStringList cutCaptions(QWidget* form);

// Saves `form` as drawn to <test program folder>/grabs/<name>.png; returns the path.
QString grabForm(QWidget* form, const QString& name = QString());

// Grabs the form, then fails the running test with one message per cut caption.
void expectCaptionsFit(QWidget* form, const QString& name = QString());
