#include "forms/RegionalSettings.h"

#include <QDate>
#include <QDateTime>
#include <QStringList>
#include <QTime>
#include <cmath>

namespace pontrel::forms {

namespace {

// Splits a Qt date/time pattern into runs of one letter and literal pieces (quoted texts kept
// with their quotes), so that fields can be replaced without touching literal text.
struct Piece {
    QString text;
    bool field = false;
};

std::vector<Piece> pieces(const QString& pattern) {
    std::vector<Piece> out;
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar ch = pattern[i];
        qsizetype j = i + 1;
        if (ch == u'\'') {
            while (j < pattern.size() && pattern[j] != u'\'') ++j;
            j = std::min<qsizetype>(j + 1, pattern.size());
            out.push_back({pattern.mid(i, j - i), false});
        } else if (ch.isLetter()) {
            while (j < pattern.size() && pattern[j] == ch) ++j;
            out.push_back({pattern.mid(i, j - i), true});
        } else {
            while (j < pattern.size() && !pattern[j].isLetter() && pattern[j] != u'\'') ++j;
            out.push_back({pattern.mid(i, j - i), false});
        }
        i = j;
    }
    return out;
}

QString joined(const std::vector<Piece>& parts) {
    QString text;
    for (const Piece& part : parts) text += part.text;
    return text;
}

QDate qDate(const data::CivilTime& c) { return QDate(c.year, c.month, c.day); }
QTime qTime(const data::CivilTime& c) { return QTime(c.hour, c.minute, c.second); }

data::Date fromQt(const QDate& date, const QTime& time) {
    data::CivilTime c;
    c.year = date.year();
    c.month = date.month();
    c.day = date.day();
    c.hour = time.hour();
    c.minute = time.minute();
    c.second = time.second();
    return data::dateFromCivil(c);
}

QString shortTimePattern(const QLocale& locale) {
    std::vector<Piece> parts = pieces(locale.timeFormat(QLocale::ShortFormat));
    std::erase_if(parts, [](const Piece& p) { return p.field && p.text[0] == u't'; });
    return joined(parts).trimmed();
}

}  // namespace

QString shortDatePattern(const QLocale& locale) {
    std::vector<Piece> parts = pieces(locale.dateFormat(QLocale::ShortFormat));
    for (Piece& part : parts)
        if (part.field && part.text[0] == u'y') part.text = QStringLiteral("yyyy");
    return joined(parts);
}

QString longTimePattern(const QLocale& locale) {
    std::vector<Piece> parts = pieces(locale.timeFormat(QLocale::LongFormat));
    // The time-zone field goes, with the separator that led to it.
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (!parts[i].field || parts[i].text[0] != u't') continue;
        parts[i].text.clear();
        if (i > 0 && !parts[i - 1].field && parts[i - 1].text.trimmed().isEmpty())
            parts[i - 1].text.clear();
    }
    return joined(parts).trimmed();
}

std::string dateText(data::Date date, const QLocale& locale) {
    const data::CivilTime c = data::civilFromDate(date);
    QString text = locale.toString(qDate(c), shortDatePattern(locale));
    if (c.hour != 0 || c.minute != 0 || c.second != 0)
        text += u' ' + locale.toString(qTime(c), longTimePattern(locale));
    return text.toStdString();
}

std::string dateValueText(data::Date value, const QLocale& locale) {
    if (std::trunc(value) == 0) {
        const data::CivilTime c = data::civilFromDate(value);
        return locale.toString(qTime(c), longTimePattern(locale)).toStdString();
    }
    return dateText(value, locale);
}

std::optional<data::Date> readDate(const std::string& text, const QLocale& locale) {
    const QString typed = QString::fromStdString(text).trimmed();
    if (typed.isEmpty()) return std::nullopt;
    const QString datePattern = shortDatePattern(locale);
    const QDate alone = locale.toDate(typed, datePattern);
    if (alone.isValid()) return fromQt(alone, QTime(0, 0));
    // Date and time are read apart, at each blank in turn (a date pattern may hold blanks), so
    // that no time zone is involved: a local time skipped by a clock change is still a time.
    const QString timePatterns[] = {longTimePattern(locale), shortTimePattern(locale)};
    for (qsizetype blank = typed.indexOf(u' '); blank > 0; blank = typed.indexOf(u' ', blank + 1)) {
        const QDate date = locale.toDate(typed.left(blank).trimmed(), datePattern);
        if (!date.isValid()) continue;
        for (const QString& timePattern : timePatterns) {
            const QTime time = locale.toTime(typed.mid(blank + 1).trimmed(), timePattern);
            if (time.isValid()) return fromQt(date, time);
        }
    }
    return data::parseIsoDate(typed.toStdString());
}

data::Date currentDate() {
    const QDateTime now = QDateTime::currentDateTime();
    const QTime time = now.time();
    return fromQt(now.date(), QTime(time.hour(), time.minute(), time.second()));
}

}  // namespace pontrel::forms
