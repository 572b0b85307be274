#pragma once
// Segmented progress indicator: set segments green, the first unset one yellow.

#include <QVector>
#include <QWidget>

class CustomProgressBar : public QWidget
{
    Q_OBJECT
public:
    explicit CustomProgressBar(QWidget* parent = nullptr);

    void setProgress(int index, bool done);
    QVector<bool> segments() const { return m_segments; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_count = 4;
    int m_gap = 5;
    int m_radius = 4;
    QVector<bool> m_segments;
};
