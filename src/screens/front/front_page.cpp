#include "screens/front/front_page.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>

#include "screens/input/in_put.h"

namespace quorrel {

namespace {

struct CardFont {
    int pixels;
    bool bold;
    int spacing;  // percent
    bool italic;
};

// One centred line of the title card.
void card_line(QPainter& p, const QRectF& box, const CardFont& f, const QColor& colour,
               const QString& text) {
    QFont font(p.font());
    font.setPixelSize(f.pixels);
    font.setBold(f.bold);
    font.setLetterSpacing(QFont::PercentageSpacing, f.spacing);
    font.setItalic(f.italic);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(box, Qt::AlignCenter, text);
}

}  // namespace

QPixmap title_image() {
    const QSize size(719, 521);
    const qreal ratio = 2;
    QPixmap pm(size * ratio);
    pm.setDevicePixelRatio(ratio);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient back(0, 0, 0, size.height());
    back.setColorAt(0, QColor(150, 150, 156));
    back.setColorAt(1, QColor(112, 112, 120));
    p.fillRect(QRect(QPoint(0, 0), size), back);

    // Faint currency signs scattered over the background, the same every time.
    QRandomGenerator rng(20261208);
    const QString signs = QString::fromUtf8("$\u20ac\u00a3\u00a5$");
    QFont sign_font(p.font());
    for (int i = 0; i < 70; ++i) {
        sign_font.setPixelSize(18 + static_cast<int>(rng.bounded(46)));
        sign_font.setBold(rng.bounded(2) == 0);
        p.setFont(sign_font);
        p.setPen(QColor(255, 255, 255, 22 + static_cast<int>(rng.bounded(22))));
        p.save();
        p.translate(rng.bounded(size.width()), rng.bounded(size.height()));
        p.rotate(rng.bounded(60) - 30);
        p.drawText(QPointF(0, 0), QString(signs.at(static_cast<int>(rng.bounded(signs.size())))));
        p.restore();
    }

    // The grey title card.
    const QRectF card(70, 110, size.width() - 140, size.height() - 220);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawRoundedRect(card.translated(6, 8), 14, 14);
    QLinearGradient face(card.topLeft(), card.bottomLeft());
    face.setColorAt(0, QColor(226, 226, 230));
    face.setColorAt(1, QColor(196, 196, 202));
    p.setBrush(face);
    p.setPen(QPen(QColor(90, 90, 100), 1.5));
    p.drawRoundedRect(card, 14, 14);

    card_line(p, {card.left(), card.top() + 24, card.width(), 110}, {84, true, 104, false},
              QColor(40, 52, 86), "Quorrel");
    card_line(p, {card.left(), card.top() + 140, card.width(), 30}, {22, false, 100, false},
              QColor(60, 60, 70), "Retirement Income and Ruin Probability Analyser");
    p.setPen(QPen(QColor(40, 52, 86), 2));
    p.drawLine(QPointF(card.left() + 120, card.top() + 182),
               QPointF(card.right() - 120, card.top() + 182));
    card_line(p, {card.left(), card.top() + 196, card.width(), 24}, {16, false, 100, false},
              QColor(50, 50, 60), "Version 1.0");
    card_line(p, {card.left(), card.bottom() - 44, card.width(), 24}, {16, false, 100, true},
              QColor(50, 50, 60),
              QString::fromUtf8("Written by the Quorrel developers \u00b7 all rights reserved"));
    p.end();
    return pm;
}

FrontPage::FrontPage(AnalysisState& state, Platform& platform, QWidget* parent)
    : QWidget(parent), state_(state), platform_(platform) {
    setObjectName("front_page");
    setWindowTitle("Quorrel");
    image_ = title_image();
    setMinimumSize(360, 260);
    resize(719, 521);
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);

    Label1 = new QLabel("Please click anywhere to continue...", this);
    Label1->setObjectName("Label1");
    QPalette p = Label1->palette();
    p.setColor(QPalette::WindowText, Qt::white);
    Label1->setPalette(p);
    QFont f = Label1->font();
    f.setBold(true);
    Label1->setFont(f);
    Label1->adjustSize();
    // Clicks and moves over the prompt belong to the page underneath.
    Label1->setAttribute(Qt::WA_TransparentForMouseEvents);
    Label1->move(30, height() - Label1->height() - 30);

    front_page_Form_Load();
}

FrontPage::~FrontPage() = default;

void FrontPage::front_page_Form_Load() {
    // The input screen loads now, hidden, so that it is ready at the click.
    input_ = std::make_unique<InPut>(state_, platform_);
    connect(input_.get(), &InPut::exit_requested, this, &FrontPage::exit_requested);
}

void FrontPage::front_page_Form_Click() {
    input_->show();
    input_->raise();
    input_->activateWindow();
    hide();
}

void FrontPage::keyPressEvent(QKeyEvent* event) {
    // A modifier alone is not yet a key press a person means.
    switch (event->key()) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_Meta:
        case Qt::Key_AltGr:
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock: QWidget::keyPressEvent(event); return;
        default: event->accept(); front_page_Form_Click();
    }
}

void FrontPage::front_page_Form_MouseMove(int x, int y) { Label1->move(x + 30, y); }

void FrontPage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawPixmap(rect(), image_);
}

void FrontPage::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    front_page_Form_MouseMove(at.x(), at.y());
}

void FrontPage::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        front_page_Form_Click();
}

}  // namespace quorrel
