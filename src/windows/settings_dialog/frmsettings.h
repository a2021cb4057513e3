#pragma once

#include <QLine>
#include <QPixmap>
#include <QWidget>

#include <array>

class PictureBox;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QRadioButton;
class SettingsHost;

// The settings dialog: edits the connection type, the proxy choice, and the
// page addresses or the httpQ connection, writing every change into the
// settings at once. Save writes the file, Cancel only closes. The bar keeps
// one at a time, made when opened and destroyed when closed.
class frmSettings final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmSettings)

public:
    static constexpr auto kExampleProxy = u"proxy.example.org:8080";

    // Made by the bar, its host, which outlives it; opens in the middle of
    // the host window's screen. Form_Load fills it.
    explicit frmSettings(SettingsHost &host);
    ~frmSettings() override;

    void Form_Load();
    void RefreshFields();
    void optConnectType_Click(int Index);
    void optProxy_Click(int Index);
    void txt_URL_Change(int Index);
    void txtProxy_Change();
    void picSave_Click();
    void picCancel_Click();
    void Form_MouseDown(Qt::MouseButton button, QPoint pressGlobal);

    QWidget *Frame1;
    std::array<QRadioButton *, 2> optConnectType;
    std::array<QRadioButton *, 3> optProxy;
    QLineEdit *txtProxy;
    std::array<QLabel *, 4> Label1;
    std::array<QLineEdit *, 4> txt_URL;
    PictureBox *picSave;
    PictureBox *picCancel;
    std::array<QLine, 4> Line1;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Places the captions and fields for the font's sizes.
    void fitTexts();
    // A field's designed width in twips; it ends no further right than the wide ones.
    void setFieldWidth(int index, int widthTwips);
    // Selects an option to show a setting, without running its write.
    void showSetting(QRadioButton *option);

    SettingsHost &m_host;
    QPixmap m_background;
    std::array<int, 4> m_fieldWidths{};
    bool m_built = false;
    QButtonGroup *m_typeGroup;
    QButtonGroup *m_proxyGroup;
};
