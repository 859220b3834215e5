#include "outlookbar.h"

#include <QApplication>
#include <QPushButton>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QToolButton>
#include <QVBoxLayout>

namespace emlo {

namespace {
const QColor kBackground(128, 128, 128);

// Breaks a caption into lines that fit `width`, between words.
QString wrapCaption(const QString& text, const QFontMetrics& metrics, int width)
{
    QStringList lines;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!lines.isEmpty() && metrics.horizontalAdvance(lines.last() + QLatin1Char(' ') + word) <= width)
            lines.last() += QLatin1Char(' ') + word;
        else
            lines.append(word);
    }
    return lines.join(QLatin1Char('\n'));
}

// An item: icon and white caption on the bar's grey in every state. The
// style's own hovered and pressed panels are near-white, so the item draws
// only a raised (hovered) or sunken (pressed) edge over the grey, and the
// style only its icon and caption. (A style sheet did the same, at a
// millisecond of start-up and a slower paint.)
class OutlookItem : public QToolButton {
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter painter(this);
        QStyleOptionToolButton option;
        initStyleOption(&option);
        const bool pressed = option.state & (QStyle::State_Sunken | QStyle::State_On);
        const bool hovered = (option.state & QStyle::State_MouseOver) && (option.state & QStyle::State_Enabled);
        if (pressed)
            painter.fillRect(rect().adjusted(1, 1, -1, -1), QColor(0, 0, 0, 24));
        if (pressed || hovered) {
            const QColor light(0xe0, 0xe0, 0xe0);
            const QColor dark(0x40, 0x40, 0x40);
            const QRect edge = rect().adjusted(0, 0, -1, -1);
            painter.setPen(pressed ? dark : light);
            painter.drawLine(edge.left() + 1, edge.top(), edge.right() - 1, edge.top());
            painter.drawLine(edge.left(), edge.top() + 1, edge.left(), edge.bottom() - 1);
            painter.setPen(pressed ? light : dark);
            painter.drawLine(edge.left() + 1, edge.bottom(), edge.right() - 1, edge.bottom());
            painter.drawLine(edge.right(), edge.top() + 1, edge.right(), edge.bottom() - 1);
        }
        option.state &= ~(QStyle::State_MouseOver | QStyle::State_Sunken | QStyle::State_On);
        option.rect = rect().adjusted(kInset, kInset, -kInset, -kInset);
        option.palette.setColor(QPalette::ButtonText, Qt::white);
        painter.drawControl(QStyle::CE_ToolButtonLabel, option);
    }

private:
    // The edge and a little room inside it.
    static constexpr int kInset = 3;
};
}  // namespace

OutlookBar::OutlookBar(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Outlook"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kBackground);
    setPalette(pal);

    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_layout->addStretch(1);
}

int OutlookBar::addGroup(const QString& caption)
{
    const int number = int(m_groups.size()) + 1;
    auto* header = new QPushButton(caption, this);
    header->setObjectName(QStringLiteral("outlookGroup%1").arg(number));
    header->setFocusPolicy(Qt::NoFocus);
    header->setAutoFillBackground(true);
    header->setPalette(QApplication::palette(header));

    auto* items = new QWidget(this);
    auto* itemLayout = new QVBoxLayout(items);
    itemLayout->setContentsMargins(4, 8, 4, 8);
    itemLayout->setSpacing(12);
    itemLayout->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    // Headers of the groups stand above the open group's items, the rest below.
    m_layout->insertWidget(m_layout->count() - 1, header);
    m_layout->insertWidget(m_layout->count() - 1, items);
    m_groups.append(Group{header, items, itemLayout});
    connect(header, &QPushButton::clicked, this, [this, number] { setActiveGroup(number); });
    setActiveGroup(m_active == 0 ? number : m_active);
    return number;
}

void OutlookBar::addItem(int group, const QString& text, const QIcon& icon)
{
    if (group < 1 || group > m_groups.size())
        return;
    Group& g = m_groups[group - 1];
    auto* button = new OutlookItem(g.items);
    button->setObjectName(text);
    // Long captions go on two lines under the icon instead of being cut.
    const int room = qMax(40, width() - 16);
    button->setText(wrapCaption(text, button->fontMetrics(), room));
    button->setIcon(icon);
    button->setIconSize(QSize(32, 32));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    g.itemLayout->addWidget(button);
    connect(button, &QToolButton::clicked, this, [this, text] { emit itemClicked(text); });
}

void OutlookBar::setActiveGroup(int group)
{
    if (group < 1 || group > m_groups.size())
        return;
    m_active = group;
    for (int i = 0; i < m_groups.size(); ++i) {
        m_groups[i].items->setVisible(i + 1 == group);
        m_layout->setStretchFactor(m_groups[i].items, i + 1 == group ? 1 : 0);
    }
}

QToolButton* OutlookBar::itemButton(const QString& text) const
{
    if (m_active < 1)
        return nullptr;
    const auto buttons = m_groups[m_active - 1].items->findChildren<QToolButton*>();
    for (QToolButton* b : buttons) {
        if (b->objectName() == text)
            return b;
    }
    return nullptr;
}

}  // namespace emlo
