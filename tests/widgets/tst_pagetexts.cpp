#include "tests/support/TestMain.h"
#include "ui/widgets/PageTexts.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

// A small form as a page's setupUi leaves it, and its language slot.
struct Form
{
    QWidget page;
    QLabel* label = new QLabel(QStringLiteral("Low Pass"), &page);
    QPushButton* button = new QPushButton(QStringLiteral("Reboot"), &page);
    QCheckBox* check = new QCheckBox(QStringLiteral("Enable filtering"), &page);
    QLineEdit* edit = new QLineEdit(&page);
    PageTexts texts;

    Form()
    {
        button->setToolTip(QStringLiteral("Restarts the instrument"));
        edit->setPlaceholderText(QStringLiteral("Seconds"));
        edit->setToolTip(QStringLiteral("1~60s"));
    }

    void setLanguage(int num)
    {
        texts.setLanguage(num, {{label, "低通"},
                                {button, "重启"},
                                {button, "重启仪器", nullptr, "toolTip"},
                                {check, "启用滤波"},
                                {edit, "秒", nullptr, "placeholderText"},
                                {edit, "1~60秒", nullptr, "toolTip"}});
    }

    QStringList shown() const
    {
        return {label->text(), button->text(),          button->toolTip(),
                check->text(), edit->placeholderText(), edit->toolTip()};
    }
};

const QStringList FormEnglish = {"Low Pass",         "Reboot",  "Restarts the instrument",
                                 "Enable filtering", "Seconds", "1~60s"};
const QStringList FormChinese = {"低通", "重启", "重启仪器", "启用滤波", "秒", "1~60秒"};

class TestPageTexts : public QObject
{
    Q_OBJECT
private slots:
    void switchesGiveTheFormTextsBack_data();
    void switchesGiveTheFormTextsBack();
    void keepsTheTextsHeldAtTheFirstCall();
    void givenEnglishTextIsUsed();
    void unknownPropertyIsReported();
};

void TestPageTexts::switchesGiveTheFormTextsBack_data()
{
    QTest::addColumn<QList<int>>("languages");
    QTest::newRow("Chinese first") << QList<int>{1, 0, 1, 0};
    QTest::newRow("English first") << QList<int>{0, 1, 0, 1, 0};
    QTest::newRow("Chinese twice") << QList<int>{1, 1, 0};
    QTest::newRow("other values are English") << QList<int>{1, 2, 1, -1};
}

void TestPageTexts::switchesGiveTheFormTextsBack()
{
    QFETCH(QList<int>, languages);
    Form form;
    for (const int num : languages) {
        form.setLanguage(num);
        QCOMPARE(form.shown(), num == 1 ? FormChinese : FormEnglish);
    }
}

// The English texts are what the widgets show at the first switch, also texts the
// page set itself after its form was built; later changes are not taken for English.
void TestPageTexts::keepsTheTextsHeldAtTheFirstCall()
{
    Form form;
    form.button->setText(QStringLiteral("Restart"));
    form.setLanguage(1);
    form.label->setText(QStringLiteral("overwritten while Chinese"));
    form.setLanguage(0);
    QCOMPARE(form.button->text(), QString("Restart"));
    QCOMPARE(form.label->text(), QString("Low Pass"));

    form.button->setText(QStringLiteral("overwritten while English"));
    form.setLanguage(1);
    form.setLanguage(0);
    QCOMPARE(form.button->text(), QString("Restart"));
}

// Where the form's text is not the English one (a leading blank), the entry names it.
void TestPageTexts::givenEnglishTextIsUsed()
{
    QPushButton button(QStringLiteral(" Index"));
    PageTexts texts;
    for (const int num : {0, 1, 0}) {
        texts.setLanguage(num, {{&button, "帮助首页", "Index"}});
        QCOMPARE(button.text(), QString(num == 1 ? "帮助首页" : "Index"));
    }
}

void TestPageTexts::unknownPropertyIsReported()
{
    Form form;
    form.label->setObjectName(QStringLiteral("lbl_lowPass"));
    QTest::ignoreMessage(QtWarningMsg, "PageTexts: lbl_lowPass has no property txet");
    form.texts.setLanguage(1, {{form.label, "低通", nullptr, "txet"}, {form.check, "启用滤波"}});
    QCOMPARE(form.label->text(), QString("Low Pass"));
    QVERIFY(form.label->dynamicPropertyNames().isEmpty());
    QCOMPARE(form.check->text(), QString("启用滤波"));
}

MAG_TEST_MAIN(TestPageTexts)
#include "tst_pagetexts.moc"
