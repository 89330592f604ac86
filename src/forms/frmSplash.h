#pragma once
// The splash: the program's identity for 2 seconds, or until the user presses a character key or
// clicks the free area of its frame; then it unloads itself and shows step 1. Only the timer
// path also loads step 3, hidden, at that moment.

#include <QFrame>
#include <QLabel>
#include <QTimer>
#include <QWidget>

namespace pontrel::forms {

class Wizard;

// A frame without caption that reports clicks on its own free area (not on its controls).
class ClickFrame : public QFrame {
    Q_OBJECT
public:
    explicit ClickFrame(QWidget* parent);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};

class frmSplash : public QWidget {
    Q_OBJECT
public:
    explicit frmSplash(Wizard& wizard);
    frmSplash(const frmSplash&) = delete;
    frmSplash& operator=(const frmSplash&) = delete;

    ClickFrame* Frame1;
    QTimer* Timer1;
    QLabel* lblProductName;
    QLabel* Label1;
    QLabel* imgLogo;
    QLabel* lblCopyright;
    QLabel* lblCompany;
    QLabel* lblVersion;
    QLabel* lblPlatform;
    QLabel* lblCompanyProduct;
    QLabel* Image1;

public slots:
    void Timer1_Timer();
    void Form_KeyPress();
    void Frame1_Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Unloads the splash and shows step 1.
    void handOver();

    Wizard& wizard_;
    bool handedOver_ = false;
};

}  // namespace pontrel::forms
