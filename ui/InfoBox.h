#pragma once
// The program's usual box for the operator: no parent, icon Information, title
// "提示", deleted on close, opened without waiting for the answer. GUI thread only.

#include <QIcon>
#include <QString>

class QMessageBox;

namespace InfoBox {

// The box, open; it deletes itself once closed.
QMessageBox* open(const QString& text, const QIcon& windowIcon = QIcon());

} // namespace InfoBox
