#include "forms/frmSplash.h"

#include <QCloseEvent>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>

#include "Version.h"
#include "forms/Artwork.h"
#include "forms/DesignUnits.h"
#include "forms/StepWindow.h"
#include "forms/Wizard.h"

namespace pontrel::forms {

namespace {

// Keeps clicks on the splash's labels and pictures from reaching the frame beneath them.
class SwallowClicks : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick: return true;
            default: return false;
        }
    }
};

// A label that takes its text's size, keeping its left edge, or its right edge when it is
// aligned to the right.
void sizeToText(QLabel* label) {
    const QRect design = label->geometry();
    label->adjustSize();
    if (label->alignment() & Qt::AlignRight)
        label->move(design.right() + 1 - label->width(), design.top());
}

}  // namespace

ClickFrame::ClickFrame(QWidget* parent) : QFrame(parent) {}

void ClickFrame::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void ClickFrame::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click) emit clicked();
}

frmSplash::frmSplash(Wizard& wizard)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint), wizard_(wizard) {
    setObjectName("frmSplash");
    setFont(designFont());
    setWindowIcon(applicationIcon());
    placeWindow(this, -1, -1, 7380, 4245, true);
    centreOnScreen(this);
    setFocusPolicy(Qt::StrongFocus);

    Frame1 = new ClickFrame(this);
    place(Frame1, 120, 0, 7080, 4050);
    Frame1->setFrameStyle(QFrame::Box | QFrame::Sunken);

    Timer1 = new QTimer(this);
    Timer1->setInterval(2000);

    const QColor darkGrey(64, 64, 64);
    auto label = [&](const QString& text, int left, int top, int width, int height,
                     const QFont& font) {
        auto* item = new QLabel(text, Frame1);
        place(item, left, top, width, height, font);
        item->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return item;
    };
    auto picture = [&](const QPixmap& pixmap, int left, int top, int width, int height) {
        auto* item = new QLabel(Frame1);
        place(item, left, top, width, height);
        item->setPixmap(pixmap);
        item->setScaledContents(true);
        return item;
    };

    Image1 = picture(iconPicture(32), 3720, 1440, 1215, 1185);
    lblProductName = label("Pontrel", 2640, 1680, 3300, 765, designFont("Arial", 32.25, true));
    QPalette grey = lblProductName->palette();
    grey.setColor(QPalette::WindowText, readableText(this, darkGrey));
    lblProductName->setPalette(grey);
    sizeToText(lblProductName);
    Label1 = label("ostrand.example", 480, 1320, 1215, 255, designFont());
    imgLogo = picture(splashLogo(), 120, 240, 1815, 1065);
    lblCopyright = label("Copyright", 5640, 3540, 855, 255, designFont("Arial"));
    lblCompany = label(QString::fromUtf8(kCompanyName) + " 2026", 5640, 3750, 1335, 255,
                       designFont("Arial"));
    lblVersion = label("1.0", 4515, 2880, 330, 285, designFont("Arial", 12, true));
    lblVersion->setAlignment(Qt::AlignRight | Qt::AlignTop);
    sizeToText(lblVersion);
    lblPlatform = label("for Linux", 3480, 2520, 1890, 360, designFont("Arial", 15.75, true));
    lblPlatform->setAlignment(Qt::AlignRight | Qt::AlignTop);
    sizeToText(lblPlatform);
    lblCompanyProduct = label("Vessamo", 3480, 1080, 1650, 435, designFont("Arial", 18, true));
    sizeToText(lblCompanyProduct);
    // The product name is drawn over the icon picture it overlaps, which shows through faintly
    // behind it as a watermark.
    auto* faint = new QGraphicsOpacityEffect(Image1);
    faint->setOpacity(0.3);
    Image1->setGraphicsEffect(faint);
    lblProductName->raise();

    auto* swallow = new SwallowClicks(this);
    for (QLabel* item : {lblProductName, Label1, imgLogo, lblCopyright, lblCompany, lblVersion,
                         lblPlatform, lblCompanyProduct, Image1}) {
        item->setFocusPolicy(Qt::NoFocus);
        item->installEventFilter(swallow);
    }

    connect(Timer1, &QTimer::timeout, this, &frmSplash::Timer1_Timer);
    connect(Frame1, &ClickFrame::clicked, this, &frmSplash::Frame1_Click);
    Timer1->start();
}

void frmSplash::handOver() {
    handedOver_ = true;
    Timer1->stop();
    wizard_.unloadSplash();
    wizard_.showTypeForm();
}

void frmSplash::Timer1_Timer() {
    if (handedOver_) return;
    wizard_.run(this, [&] {
        wizard_.mainForm();  // loaded, not shown
        handOver();
    });
}

void frmSplash::Form_KeyPress() {
    if (!handedOver_) wizard_.run(this, [&] { handOver(); });
}

void frmSplash::Frame1_Click() {
    if (!handedOver_) wizard_.run(this, [&] { handOver(); });
}

void frmSplash::keyPressEvent(QKeyEvent* event) {
    // Only keys that produce a character; arrows, function keys and modifiers alone do not.
    if (event->text().isEmpty()) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    Form_KeyPress();
}

void frmSplash::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    activateWindow();
    setFocus();
}

void frmSplash::closeEvent(QCloseEvent* event) {
    // Closed by the window system before anything else was loaded: no form remains, so the
    // program ends.
    event->accept();
    if (handedOver_ || wizard_.ended()) return;
    handedOver_ = true;
    Timer1->stop();
    wizard_.unloadSplash();
    wizard_.endProgram(0);
}

void frmSplash::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    qDrawWinPanel(&painter, rect(), palette(), false);
}

}  // namespace pontrel::forms
