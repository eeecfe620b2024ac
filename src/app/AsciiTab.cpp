#include "AsciiTab.h"

#include "CKDX.h"
#include "NumericText.h"
#include "TabHost.h"
#include "TabSupport.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace tabSupport;

AsciiTab::AsciiTab(TabHost &host, QWidget *parent)
    : QWidget(parent)
    , m_host(host)
{
    auto *fra0 = named(new QGroupBox(tr("ASCII(0~31)"), this), QStringLiteral("fraASCII0"));
    auto *fra32 = named(new QGroupBox(tr("ASCII(32~127)"), this), QStringLiteral("fraASCII32"));
    auto *fra128 = named(new QGroupBox(tr("ASCII(128~255)"), this), QStringLiteral("fraASCII128"));
    auto *grid0 = new QGridLayout(fra0);
    auto *grid32 = new QGridLayout(fra32);
    auto *grid128 = new QGridLayout(fra128);
    for (QGridLayout *g : {grid0, grid32, grid128})
        g->setSpacing(2);

    QFont symbolFont = font();
    symbolFont.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    symbolFont.setPointSizeF(9);
    symbolFont.setBold(true);
    QFont deleteFont = font();
    deleteFont.setFamilies({QStringLiteral("MS Serif"), QStringLiteral("DejaVu Serif"), QStringLiteral("Serif")});
    deleteFont.setPointSizeF(6.75);

    const QFontMetrics normal(font());
    const QFontMetrics bold(symbolFont);
    const QSize buttonSize(qMax(normal.horizontalAdvance(QStringLiteral("888")), bold.horizontalAdvance(QLatin1Char('W')))
                               + normal.averageCharWidth() * 2,
                           qMax(normal.height(), bold.height()) + 8);

    cmdASCII1.resize(128);
    cmdASCII2.resize(128);
    for (int code = 0; code < 256; ++code) {
        const bool first = code < 128;
        const int index = first ? code : code - 128;
        const bool symbol = first && code >= 48 && code <= 126 && code != 96;
        QGroupBox *frame = code < 32 ? fra0 : (first ? fra32 : fra128);
        auto *b = named(new QPushButton(symbol ? QString(QChar(char16_t(code))) : QString::number(code), frame),
                        QStringLiteral("%1_%2").arg(first ? QStringLiteral("cmdASCII1") : QStringLiteral("cmdASCII2"))
                            .arg(index));
        b->setProperty("Index", index);
        b->setFixedSize(buttonSize);
        b->setAccessibleName(tr("Send code %1").arg(code));
        if (symbol) {
            b->setFont(symbolFont);
            b->setToolTip(QString::number(code));
        } else if (code == 127) {
            b->setFont(deleteFont);
        }
        if (first) {
            cmdASCII1[index] = b;
            connect(b, &QPushButton::clicked, this, [this, index] { cmdASCII1_Click(index); });
        } else {
            cmdASCII2[index] = b;
            connect(b, &QPushButton::clicked, this, [this, index] { cmdASCII2_Click(index); });
        }
        if (code < 32)
            grid0->addWidget(b, code / 16, code % 16);
        else if (first)
            grid32->addWidget(b, (code - 32) % 16, (code - 32) / 16);
        else
            grid128->addWidget(b, (code - 128) % 16, (code - 128) / 16);
    }

    auto *lblBold = named(new QLabel(tr("Bold means ASCII symbol"), this), QStringLiteral("lblBold"));
    QFont boldLabel = lblBold->font();
    boldLabel.setBold(true);
    lblBold->setFont(boldLabel);

    // Codes 0 to 31 above, the two larger frames side by side below.
    auto *frames = new QGridLayout;
    frames->addWidget(fra0, 0, 0, 1, 2, Qt::AlignLeft);
    frames->addWidget(fra32, 1, 0, Qt::AlignTop | Qt::AlignLeft);
    frames->addWidget(fra128, 1, 1, Qt::AlignTop | Qt::AlignLeft);
    frames->setColumnStretch(2, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(frames);
    layout->addWidget(lblBold);
    layout->addStretch(1);

    // Keyboard order: row by row through each frame, as the buttons are seen.
    QList<QWidget *> focus;
    for (int code = 0; code < 32; ++code)
        focus << cmdASCII1[code];
    for (int row = 0; row < 16; ++row) {
        for (int col = 0; col < 6; ++col)
            focus << cmdASCII1[32 + 16 * col + row];
        for (int col = 0; col < 8; ++col)
            focus << cmdASCII2[16 * col + row];
    }
    chainFocus(focus);
}

void AsciiTab::cmdASCII1_Click(int Index)
{
    if (Index < 0 || Index >= cmdASCII1.size() || !m_host.beginCommand())
        return;
    const QString caption = cmdASCII1[Index]->text();
    qint32 R = 0;
    if (Index <= 47 || Index == 96 || Index == 127)
        R = m_host.kdx().SendMessage(QString(QChar(char16_t(numericText::leadingNumber(caption)))));
    else
        R = m_host.kdx().SendMessage(caption);
    m_host.showSent(R);
    m_host.endCommand();
}

void AsciiTab::cmdASCII2_Click(int Index)
{
    if (Index < 0 || Index >= cmdASCII2.size() || !m_host.beginCommand())
        return;
    m_host.showSent(m_host.kdx().SendMessageB(quint8(numericText::leadingNumber(cmdASCII2[Index]->text()))));
    m_host.endCommand();
}
