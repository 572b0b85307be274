#pragma once
// What the operator does to a page and sees on it, for the page tests: a line edit
// typed into and left (the pages act on editingFinished), and the values a plot
// shows. GUI thread only. The plot helper needs the test to link QCustomPlot
// (through mag_widgets).

#include <QLineEdit>
#include <QObject>
#include <QString>
#include <QVector>
#include <qcustomplot.h>

namespace OperatorInput {

// Types `text` into the line edit `name` below `parent` and leaves it; false when
// there is no such edit.
inline bool typeInto(QObject* parent, const QString& name, const QString& text)
{
    auto* edit = parent->findChild<QLineEdit*>(name);
    if (!edit)
        return false;
    edit->setText(text);
    emit edit->editingFinished();
    return true;
}

// The same for an entry "name=text", as in "edt_highPass=1".
inline bool typeInto(QObject* parent, const QString& entry)
{
    const int eq = entry.indexOf(QLatin1Char('='));
    return eq > 0 && typeInto(parent, entry.left(eq), entry.mid(eq + 1));
}

// The values of the plot's first graph, oldest first.
inline QVector<double> plotted(QCustomPlot* plot)
{
    QVector<double> values;
    const auto data = plot->graph(0)->data();
    for (auto it = data->constBegin(); it != data->constEnd(); ++it)
        values << it->value;
    return values;
}

} // namespace OperatorInput
