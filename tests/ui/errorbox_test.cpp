#include "tests/support/modal.h"
#include "ui/aboutbox/aboutbox.h"
#include "ui/errorbox/errorbox.h"
#include "ui/errorbox/errorform.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

TEST(ErrorBox, GuardShowsTheErrorWithAFullStopAndEndsTheBody) {
    struct Case {
        std::function<void()> Throw;
        QString Shown;
    };
    const Case cases[] = {
        {[] { throw EConvertError("'4.0' is not a valid floating point value"); },
         "'4.0' is not a valid floating point value."},
        {[] { throw EZeroDivide(); }, "Floating point division by zero."},
        {[] { throw EInvalidOp(); }, "Invalid floating point operation."},
        {[] { throw EOverflow(); }, "Floating point overflow."},
        {[] { throw EKelmorError("Ends with one."); }, "Ends with one."},
    };
    for (const Case& c : cases) {
        QStringList shown;
        bool after = false;
        {
            TErrorBoxes boxes(shown);
            RunGuarded([&] {
                c.Throw();
                after = true;
            });
        }
        EXPECT_EQ(shown, QStringList{c.Shown});
        EXPECT_FALSE(after);
    }
}

TEST(ErrorBox, TheRealBoxHasTheProgramsCaptionAStopIconAndOk) {
    QString caption, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    TModalAnswer answer([&](QDialog* d) {
        auto* box = qobject_cast<QMessageBox*>(d);
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = int(box->buttons().size());
    });
    RunGuarded([] { throw EZeroDivide(); });
    EXPECT_TRUE(answer.Answered());
    EXPECT_EQ(caption, QStringLiteral("Kelmor"));
    EXPECT_EQ(text, QStringLiteral("Floating point division by zero."));
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons, 1);
}

TEST(ErrorForm, ShowErrorShowsOnlyTheNewText) {
    TErrorForm form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Error"));
    for (const QString& message : {QStringLiteral("Can't open DEV0"), QStringLiteral("Can't open DEV1")}) {
        QString shown;
        TModalAnswer answer(
            [&](QDialog* d) { shown = d->findChild<QLabel*>(QStringLiteral("textLabel"))->text(); });
        form.ShowError(message);
        EXPECT_EQ(shown, message);
    }
}

TEST(AboutBox, ShowsNameAndDateAndClosesOnOk) {
    TAboutBox box;
    EXPECT_EQ(box.windowTitle(), QStringLiteral("O programie"));
    QStringList texts;
    for (const QLabel* label : box.findChildren<QLabel*>())
        texts << label->text();
    EXPECT_TRUE(texts.contains("Kelmor v.1.0"));
    EXPECT_TRUE(texts.contains("20.03.2006"));
    auto* ok = box.findChild<QPushButton*>(QStringLiteral("okButton"));
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    TModalAnswer answer([&](QDialog*) { ok->click(); });
    EXPECT_EQ(box.exec(), QDialog::Accepted);
}
