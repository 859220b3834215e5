#include "helpfile.h"

#include <QFile>
#include <QRegularExpression>

namespace emlo {

bool HelpFile::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = file.errorString();
        m_topics.clear();
        m_title.clear();
        return false;
    }
    parse(QString::fromUtf8(file.readAll()));
    m_error.clear();
    return true;
}

void HelpFile::parse(const QString& text)
{
    static const QRegularExpression topicLine(QStringLiteral("^@topic\\s+(\\d+)\\s*(.*)$"));
    m_topics.clear();
    m_title.clear();

    int current = -1;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const auto match = topicLine.match(line);
        if (match.hasMatch()) {
            const int number = match.captured(1).toInt();
            m_topics.insert(number, Topic{number, match.captured(2).trimmed(), {}});
            current = number;
            continue;
        }
        if (current < 0) {
            if (line.startsWith(QStringLiteral("@title ")))
                m_title = line.mid(7).trimmed();
            continue;
        }
        if (line.startsWith(QLatin1Char(';')))
            continue;
        QString& body = m_topics[current].body;
        body += line;
        body += QLatin1Char('\n');
    }
    for (Topic& t : m_topics)
        t.body = t.body.trimmed();
}

QString HelpFile::markdown(int number) const
{
    const Topic t = topic(number);
    return QStringLiteral("## ") + t.heading + QStringLiteral("\n\n") + t.body + QLatin1Char('\n');
}

}  // namespace emlo
