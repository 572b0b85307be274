#include "ui/pages/PasswordFilter.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDebug>
#include <QIcon>
#include <QInputDialog>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>

namespace {
const QString EditLockPassword = QStringLiteral("qmvt19970315");
const QString IconPath = QStringLiteral(":/logo.ico");
} // namespace

PasswordFilter::PasswordFilter(QObject* parent)
    : QObject(parent), clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
}

void PasswordFilter::setClock(Clock c)
{
    clock = std::move(c);
}

bool PasswordFilter::isUnlocked() const
{
    return unlocked && clock() - unlockTime < unlockDuration;
}

bool PasswordFilter::changesText(QLineEdit* edit, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        // A modifier on its own types nothing; Ctrl+V asks once, at the V.
        const int key = static_cast<QKeyEvent*>(event)->key();
        return key != Qt::Key_Control && key != Qt::Key_Shift && key != Qt::Key_Alt &&
               key != Qt::Key_Meta && key != Qt::Key_AltGr;
    }
    case QEvent::ContextMenu: // its Paste, Delete, Undo and Redo
        return true;
    case QEvent::MouseButtonRelease: // X11 selection paste
        return static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton &&
               QApplication::clipboard()->supportsSelection() && !edit->isReadOnly();
    case QEvent::InputMethod:
        return !static_cast<QInputMethodEvent*>(event)->commitString().isEmpty();
    default:
        return false;
    }
}

bool PasswordFilter::eventFilter(QObject* watched, QEvent* event)
{
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (!edit)
        return QObject::eventFilter(watched, event);

    // Dragged text would land without any of the events below.
    const QEvent::Type type = event->type();
    if (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) {
        if (isUnlocked())
            return false;
        event->ignore();
        return true;
    }
    // While locked, an input method's composition is not shown either.
    if (type == QEvent::InputMethod && !isUnlocked() &&
        static_cast<QInputMethodEvent*>(event)->commitString().isEmpty())
        return !static_cast<QInputMethodEvent*>(event)->preeditString().isEmpty();
    if (!changesText(edit, event))
        return QObject::eventFilter(watched, event);

    qDebug() << "unlocked:" << (unlocked ? "true" : "false");
    if (isUnlocked())
        return false;
    askForPassword();
    return true; // the key that asked does not reach the edit
}

void PasswordFilter::askForPassword()
{
    auto* dialog = new QInputDialog;
    dialog->setWindowTitle(QStringLiteral("验证密码"));
    dialog->setLabelText(QStringLiteral("请输入密码:"));
    dialog->setTextEchoMode(QLineEdit::Password);
    const QIcon icon(IconPath);
    dialog->setWindowIcon(icon);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Every way the dialog closes is checked: a cancelled entry is a wrong one.
    connect(dialog, &QDialog::finished, this, [this, dialog, icon](int) {
        if (dialog->textValue() == EditLockPassword) {
            unlocked = true;
            unlockTime = clock();
            qDebug() << "unlocked:"
                     << "true";
            return;
        }
        auto* box = new QMessageBox;
        box->setIcon(QMessageBox::Information);
        box->setWindowTitle(QStringLiteral("错误"));
        box->setText(QStringLiteral("密码错误，无法输入！"));
        box->setWindowIcon(icon);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
    dialog->open();
}
