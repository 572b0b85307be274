// The edit-lock password guard on plain line edits: what a locked edit refuses,
// the password dialog, the error box and the unlock period.

#include "tests/support/TestMain.h"
#include "ui/pages/PasswordFilter.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QInputDialog>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>

#include <memory>

namespace {
const QString Password = QStringLiteral("qmvt19970315");

template <typename T> QList<T*> openWindows()
{
    QList<T*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible())
            found << t;
    return found;
}

// Closing a password dialog opens the error box, so this runs until none is left.
void closeWindows()
{
    for (bool open = true; open;) {
        open = false;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QDialog*>(w) && w->isVisible()) {
                w->close();
                open = true;
            }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// The ways of putting text into an edit, each as one call.
enum class Input
{
    Key,
    Backspace,
    PasteKeys,
    InputMethodCommit,
};

void give(QLineEdit* edit, Input input)
{
    switch (input) {
    case Input::Key:
        QTest::keyClick(edit, Qt::Key_5);
        break;
    case Input::Backspace:
        QTest::keyClick(edit, Qt::Key_Backspace);
        break;
    case Input::PasteKeys:
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        break;
    case Input::InputMethodCommit: {
        QInputMethodEvent composing(QStringLiteral("5"), {});
        QApplication::sendEvent(edit, &composing);
        QInputMethodEvent event;
        event.setCommitString(QStringLiteral("5"));
        QApplication::sendEvent(edit, &event);
        break;
    }
    }
}
} // namespace

Q_DECLARE_METATYPE(Input)

class TstPasswordFilter : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void lockedEditTakesNothing_data();
    void lockedEditTakesNothing();
    void contextMenuAndDropAreGuarded();
    void lockedCompositionIsNotShown();
    void everyKeyAsksOnItsOwn();
    void clicksAndFocusDoNotAsk();
    void rightPasswordUnlocksEveryEditForAWhile();
    void refusedEntries_data();
    void refusedEntries();

private:
    void answer(const QString& text, bool accept = true);

    std::unique_ptr<QWidget> window;
    PasswordFilter* filter = nullptr;
    QList<QLineEdit*> edits;
    qint64 now = 1700000000000;
};

void TstPasswordFilter::init()
{
    window = std::make_unique<QWidget>();
    filter = new PasswordFilter(window.get());
    filter->setClock([this] { return now; });
    edits.clear();
    for (int i = 0; i < 3; ++i) {
        auto* edit = new QLineEdit(QStringLiteral("0.5"), window.get());
        edit->installEventFilter(filter);
        edit->setCursorPosition(3);
        edits << edit;
    }
    QApplication::clipboard()->setText(QStringLiteral("0.25"));
}

void TstPasswordFilter::cleanup()
{
    closeWindows();
    window.reset();
}

// Answers the open password dialog.
void TstPasswordFilter::answer(const QString& text, bool accept)
{
    const QList<QInputDialog*> dialogs = openWindows<QInputDialog>();
    QCOMPARE(dialogs.size(), 1);
    QInputDialog* dialog = dialogs.first();
    QCOMPARE(dialog->windowTitle(), QStringLiteral("验证密码"));
    QCOMPARE(dialog->labelText(), QStringLiteral("请输入密码:"));
    QCOMPARE(dialog->textEchoMode(), QLineEdit::Password);
    QVERIFY(!dialog->windowIcon().isNull());
    dialog->setTextValue(text);
    if (accept)
        dialog->accept();
    else
        dialog->reject();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TstPasswordFilter::lockedEditTakesNothing_data()
{
    QTest::addColumn<Input>("input");
    QTest::addColumn<QString>("unlockedText");
    QTest::newRow("a digit") << Input::Key << "0.55";
    QTest::newRow("backspace") << Input::Backspace << "0.";
    QTest::newRow("paste by keys") << Input::PasteKeys << "0.50.25";
    QTest::newRow("input method") << Input::InputMethodCommit << "0.55";
}

// Locked, the input changes nothing and asks for the password; once unlocked,
// the same input lands (so the refusal is the guard's, not the edit's).
void TstPasswordFilter::lockedEditTakesNothing()
{
    QFETCH(Input, input);
    QFETCH(QString, unlockedText);
    QLineEdit* edit = edits.at(1);

    give(edit, input);
    QCOMPARE(edit->text(), QStringLiteral("0.5"));
    QVERIFY(!edit->isModified());
    QCOMPARE(openWindows<QInputDialog>().size(), 1);
    answer(Password);
    QVERIFY(filter->isUnlocked());
    QVERIFY(openWindows<QMessageBox>().isEmpty());

    give(edit, input);
    QCOMPARE(edit->text(), unlockedText);
    QVERIFY(openWindows<QInputDialog>().isEmpty());
}

void TstPasswordFilter::contextMenuAndDropAreGuarded()
{
    QLineEdit* edit = edits.at(0);
    // The context menu's Paste would change the text without a key.
    QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(2, 2), edit->mapToGlobal(QPoint(2, 2)));
    QVERIFY(QApplication::sendEvent(edit, &menu));
    QCOMPARE(openWindows<QInputDialog>().size(), 1);
    answer(QStringLiteral("wrong"));
    closeWindows();

    QMimeData mime;
    mime.setText(QStringLiteral("0.75"));
    QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &enter);
    QVERIFY(!enter.isAccepted());
    QVERIFY(openWindows<QInputDialog>().isEmpty());

    give(edit, Input::Key);
    answer(Password);
    QDragEnterEvent enterUnlocked(QPoint(2, 2), Qt::CopyAction, &mime, Qt::LeftButton,
                                  Qt::NoModifier);
    QApplication::sendEvent(edit, &enterUnlocked);
    QVERIFY(enterUnlocked.isAccepted());
}

// An input method's composition is drawn in the edit before it is committed:
// while locked nothing of it shows.
void TstPasswordFilter::lockedCompositionIsNotShown()
{
    QLineEdit* edit = edits.at(0);
    edit->resize(120, 30);
    const auto compose = [edit] {
        QInputMethodEvent composing(QStringLiteral("55"), {});
        QApplication::sendEvent(edit, &composing);
    };
    const QImage before = edit->grab().toImage();
    compose();
    QCOMPARE(edit->grab().toImage(), before);
    QVERIFY(openWindows<QInputDialog>().isEmpty());

    give(edit, Input::Key);
    answer(Password);
    compose();
    QVERIFY(edit->grab().toImage() != before); // so the grab shows a composition
    QCOMPARE(edit->text(), QStringLiteral("0.5"));
}

// Each key that arrives while locked asks on its own; a modifier pressed on
// its own types nothing and asks nothing (Ctrl+V asks once, at the V).
void TstPasswordFilter::everyKeyAsksOnItsOwn()
{
    QLineEdit* edit = edits.at(0);
    for (const Qt::Key modifier : {Qt::Key_Control, Qt::Key_Shift, Qt::Key_Alt})
        QTest::keyPress(edit, modifier);
    QVERIFY(openWindows<QInputDialog>().isEmpty());
    QTest::keyClick(edit, Qt::Key_5);
    QTest::keyClick(edit, Qt::Key_6);
    QTest::keyClick(edit, Qt::Key_Left);
    QCOMPARE(openWindows<QInputDialog>().size(), 3);
    QCOMPARE(edit->text(), QStringLiteral("0.5"));
    QCOMPARE(edit->cursorPosition(), 3);
}

void TstPasswordFilter::clicksAndFocusDoNotAsk()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QLineEdit* edit = edits.at(2);
    QTest::mouseClick(edit, Qt::LeftButton);
    QTest::mouseDClick(edit, Qt::LeftButton); // selects
    edit->setFocus();
    edits.at(0)->setFocus();
    QVERIFY(openWindows<QInputDialog>().isEmpty());
    QCOMPARE(edit->text(), QStringLiteral("0.5"));
}

void TstPasswordFilter::rightPasswordUnlocksEveryEditForAWhile()
{
    give(edits.at(0), Input::Key);
    answer(Password);
    // One entry serves every guarded edit.
    for (QLineEdit* edit : qAsConst(edits)) {
        edit->setText(QStringLiteral("0."));
        QTest::keyClick(edit, Qt::Key_7);
        QCOMPARE(edit->text(), QStringLiteral("0.7"));
    }
    QVERIFY(openWindows<QInputDialog>().isEmpty());

    now += 1000000 - 1;
    QTest::keyClick(edits.at(1), Qt::Key_1);
    QCOMPARE(edits.at(1)->text(), QStringLiteral("0.71"));
    QVERIFY(openWindows<QInputDialog>().isEmpty());

    // The period ends 1 000 000 ms after the entry: the next key asks again.
    now += 1;
    QTest::keyClick(edits.at(1), Qt::Key_2);
    QCOMPARE(edits.at(1)->text(), QStringLiteral("0.71"));
    QCOMPARE(openWindows<QInputDialog>().size(), 1);
    answer(Password);
    QTest::keyClick(edits.at(1), Qt::Key_2);
    QCOMPARE(edits.at(1)->text(), QStringLiteral("0.712"));
}

void TstPasswordFilter::refusedEntries_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<bool>("unlocks");
    QTest::newRow("wrong") << "qmvt19970316" << true << false;
    QTest::newRow("other case") << "QMVT19970315" << true << false;
    QTest::newRow("empty") << "" << true << false;
    QTest::newRow("with a blank") << "qmvt19970315 " << true << false;
    QTest::newRow("cancelled") << "" << false << false;
    // The dialog's text is checked however it closes.
    QTest::newRow("right text, cancelled") << Password << false << true;
}

void TstPasswordFilter::refusedEntries()
{
    QFETCH(QString, entry);
    QFETCH(bool, accept);
    QFETCH(bool, unlocks);
    give(edits.at(0), Input::Key);
    answer(entry, accept);
    QCOMPARE(filter->isUnlocked(), unlocks);
    const QList<QMessageBox*> boxes = openWindows<QMessageBox>();
    if (unlocks) {
        QVERIFY(boxes.isEmpty());
        return;
    }
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first()->windowTitle(), QStringLiteral("错误"));
    QCOMPARE(boxes.first()->text(), QStringLiteral("密码错误，无法输入！"));
    QVERIFY(boxes.first()->testAttribute(Qt::WA_DeleteOnClose));
    closeWindows();
    give(edits.at(0), Input::Key);
    QCOMPARE(edits.at(0)->text(), QStringLiteral("0.5"));
    QCOMPARE(openWindows<QInputDialog>().size(), 1);
}

MAG_TEST_MAIN(TstPasswordFilter)
#include "tst_passwordfilter.moc"
