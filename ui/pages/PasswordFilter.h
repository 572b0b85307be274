#pragma once
// Keeps the debug page's set-point edits from taking input until the operator
// has entered the edit-lock password; one entry unlocks every guarded edit for
// a while. Installed as an event filter on the edits. GUI thread only.

#include <QObject>

#include <functional>

class QLineEdit;

class PasswordFilter : public QObject
{
    Q_OBJECT
public:
    explicit PasswordFilter(QObject* parent = nullptr);

    bool eventFilter(QObject* watched, QEvent* event) override;

    bool isUnlocked() const;

    // Milliseconds since the epoch; tests replace the system clock.
    using Clock = std::function<qint64()>;
    void setClock(Clock clock);

private:
    // True when the event would change the edit's text: a key other than a
    // modifier alone, the context menu (paste), the middle button (selection
    // paste), an input-method commit.
    static bool changesText(QLineEdit* edit, QEvent* event);
    void askForPassword();

    bool unlocked = false;
    qint64 unlockTime = 0;
    qint64 unlockDuration = 1000000;
    Clock clock;
};
