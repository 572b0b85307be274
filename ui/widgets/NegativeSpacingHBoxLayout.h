#pragma once
// Horizontal layout whose items may overlap by a negative spacing. Meant as a
// widget's top-level layout: item rectangles start at the margins, not at r's origin.

#include <QHBoxLayout>

class NegativeSpacingHBoxLayout : public QHBoxLayout
{
    Q_OBJECT
public:
    explicit NegativeSpacingHBoxLayout(QWidget* parent = nullptr);

    void setNegativeSpacing(int spacing);
    int negativeSpacing() const { return m_spacing; }

    void setGeometry(const QRect& r) override;
    QSize sizeHint() const override;

private:
    int m_spacing = -5;
};
