#include "barkeyboard.h"
#include "picturebox.h"
#include "support/sandbox.h"
#include "translations.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QLabel>
#include <QRadioButton>
#include <QTranslator>

namespace {

using namespace Qt::StringLiterals;

TEST(Translations, EnglishNeedsNoneAndGermanIsBuiltIn)
{
    EXPECT_EQ(loadTranslation(QLocale(QLocale::English, QLocale::UnitedStates)), nullptr);
    EXPECT_EQ(loadTranslation(QLocale::c()), nullptr);
    // Any German-speaking country falls back to the German translation.
    EXPECT_NE(loadTranslation(QLocale(QLocale::German, QLocale::Austria)), nullptr);
}

// The windows in German: the dialog's captions and picture buttons, the
// bar's labels and its buttons' names.
class GermanWindows : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        m_translator = loadTranslation(QLocale(QLocale::German, QLocale::Germany));
        ASSERT_NE(m_translator, nullptr);
        QCoreApplication::installTranslator(m_translator.get());
    }
    void TearDown() override
    {
        m_windows.close();
        QCoreApplication::removeTranslator(m_translator.get());
    }

    std::unique_ptr<QTranslator> m_translator;
};

TEST_F(GermanWindows, ShowTheirTextsInGerman)
{
    frm_Quendra &bar = start();
    EXPECT_EQ(bar.lblStatus->text(), u"Unbekannt");
    EXPECT_EQ(BarKeyboard::buttonName(BarButton::Play), u"Wiedergabe");

    frmSettings *dialog = frmSettings::instance();
    EXPECT_EQ(dialog->windowTitle(), u"Einstellungen");
    EXPECT_EQ(dialog->optConnectType[0]->text(), u"Websteuerung");
    EXPECT_EQ(dialog->Label1[0]->text(), u"httpq-Server-URL");
    EXPECT_EQ(dialog->picSave->accessibleName(), u"Speichern");
    EXPECT_EQ(dialog->picCancel->accessibleName(), u"Abbrechen");
}

// The words drawn in a picture follow the translation; one longer than the
// room it has is squeezed into it rather than cut.
TEST(PictureTexts, ATranslatedWordIsDrawnInsideThePicture)
{
    const QSize size(48, 19);
    const QImage english = PictureBox::renderArt(u":/art/cancel.svg"_s, size, 1).toImage();
    const QImage same = PictureBox::renderArt(u":/art/cancel.svg"_s, size, 1, {{u"Cancel"_s, u"Cancel"_s}}).toImage();
    const QImage german =
        PictureBox::renderArt(u":/art/cancel.svg"_s, size, 1, {{u"Cancel"_s, u"Abbrechen"_s}}).toImage();
    const QImage wide =
        PictureBox::renderArt(u":/art/cancel.svg"_s, size, 1, {{u"Cancel"_s, u"Abbrechen und verwerfen"_s}}).toImage();
    EXPECT_EQ(english, same);
    EXPECT_NE(english, german);
    // The bright letters stay off the key's left and right edge columns.
    auto lettersAtEdges = [](const QImage &image) {
        int bright = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x : {0, 1, 2, image.width() - 3, image.width() - 2, image.width() - 1})
                bright += qGray(image.pixel(x, y)) > 150 ? 1 : 0;
        }
        return bright;
    };
    EXPECT_EQ(lettersAtEdges(english), 0);
    EXPECT_EQ(lettersAtEdges(german), 0);
    EXPECT_EQ(lettersAtEdges(wide), 0);
}

} // namespace
