#pragma once
// White rounded popup of flat text buttons; reports the chosen entry with its data.
// GUI thread only. A slot of triggered may clear and refill the menu.

#include <QPointer>
#include <QVariant>
#include <QVector>
#include <QWidget>

class QPushButton;
class QVBoxLayout;

class CustomMenu : public QWidget
{
    Q_OBJECT
public:
    explicit CustomMenu(QWidget* parent = nullptr);

    void addAction(const QString& text, const QVariant& data);
    void clearActions();
    int actionCount() const { return m_buttons.size(); }
    QVector<QPushButton*> buttons() const { return m_buttons; }

signals:
    void triggered(QString text, QVariant data);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void onItemClicked();

    QVBoxLayout* m_layout;
    QVector<QPushButton*> m_buttons;
    QPushButton* m_emittingButton = nullptr; // the item whose click is being reported
};
