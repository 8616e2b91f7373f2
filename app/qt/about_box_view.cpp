#include "app/qt/about_box_view.h"

#include <QFrame>
#include <QMouseEvent>
#include <QPushButton>

#include "app/qt/qt_text.h"
#include "app/qt/twips.h"

namespace plyfold::gui {
namespace {

QLabel* placeLabel(QLabel* label, const char* name, QRect geometry) {
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    return label;
}

}  // namespace

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, colours.color(QPalette::Highlight));
    setPalette(colours);
    setCursor(Qt::PointingHandCursor);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
}

AboutBoxView::AboutBoxView(controls::ShellService* shell, QWidget* parent)
    : QDialog(parent), m_dialog(shell) {
    using app::Dialog1;
    setObjectName(QStringLiteral("Dialog1"));
    setWindowTitle(toQString(Dialog1::kCaption));
    setModal(true);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8.4);
    setFont(font);
    setFixedSize(twipsToPixels(4908), twipsToPixels(3936));

    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setFrameShape(QFrame::Box);
    frame->setFrameShadow(QFrame::Sunken);
    frame->setGeometry(twipsRect(120, 720, 4450, 1090));

    auto* label8 = new LinkLabel(toQString(Dialog1::kLabel8), frame);
    placeLabel(label8, "Label8", twipsRect(1800, 480, 1930, 250));
    placeLabel(new QLabel(toQString(Dialog1::kLabel7), frame), "Label7",
               twipsRect(120, 480, 850, 250));
    placeLabel(new QLabel(toQString(Dialog1::kLabel6), frame), "Label6",
               twipsRect(120, 720, 3135, 255));
    placeLabel(new QLabel(toQString(Dialog1::kLabel3), frame), "Label3",
               twipsRect(120, 240, 1690, 250));
    auto* label2 = new LinkLabel(toQString(Dialog1::kLabel2), frame);
    placeLabel(label2, "Label2", twipsRect(1800, 240, 2290, 250));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setGeometry(twipsRect(120, 3360, 1215, 375));

    QLabel* label5 = placeLabel(new QLabel(toQString(Dialog1::label5()), this), "Label5",
                                twipsRect(120, 2040, 4695, 1095));
    label5->setWordWrap(true);
    label5->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeLabel(new QLabel(toQString(Dialog1::kLabel4), this), "Label4",
               twipsRect(960, 360, 1455, 255));
    placeLabel(new QLabel(toQString(Dialog1::kLabel1), this), "Label1",
               twipsRect(960, 120, 2055, 255));

    connect(label2, &LinkLabel::clicked, this, [this] { m_dialog.Label2_Click(); });
    connect(label8, &LinkLabel::clicked, this, [this] { m_dialog.Label8_Click(); });
    connect(ok, &QPushButton::clicked, this, [this] {
        m_dialog.OKButton_Click();
        if (m_dialog.isCloseRequested()) {
            accept();
        }
    });
}

}  // namespace plyfold::gui
