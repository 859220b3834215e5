#pragma once

#include <QMap>
#include <QString>

namespace emlo {

// The program's help file: a UTF-8 text of numbered topics.
//
//   @title <window title>
//   @topic <number> <heading>
//   <Markdown body; links to other topics read [text](topic:<number>)>
//
// Topic 0 is the contents page. Lines before the first @topic other than
// @title and lines starting with ';' are ignored.
class HelpFile {
public:
    struct Topic {
        int number = 0;
        QString heading;
        QString body;  // Markdown
    };

    // Reads the file; false (with errorString()) when it cannot be read.
    bool load(const QString& path);
    void parse(const QString& text);

    QString title() const { return m_title; }
    bool hasTopic(int number) const { return m_topics.contains(number); }
    Topic topic(int number) const { return m_topics.value(number); }
    QList<int> topicNumbers() const { return m_topics.keys(); }
    QString errorString() const { return m_error; }

    // A topic as Markdown, its heading first.
    QString markdown(int number) const;

    static constexpr int kContents = 0;

private:
    QString m_title;
    QMap<int, Topic> m_topics;
    QString m_error;
};

}  // namespace emlo
