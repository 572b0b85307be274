#include "ui/InfoBox.h"

#include <QMessageBox>

namespace InfoBox {

QMessageBox* open(const QString& text, const QIcon& windowIcon)
{
    auto* box = new QMessageBox;
    box->setIcon(QMessageBox::Information);
    box->setWindowIcon(windowIcon);
    box->setWindowTitle(QStringLiteral("提示"));
    box->setText(text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}

} // namespace InfoBox
