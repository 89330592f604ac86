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

// The locale's numeric short date typed with a two-digit year, read in the window 1930-2029.
// Day and month take one or two digits, the year exactly two.
QDate twoDigitYearDate(const QString& text, const QLocale& locale) {
    int day = 0, month = 0, year = -1;
    qsizetype pos = 0;
    auto number = [&](int minDigits, int maxDigits, int& value) {
        const qsizetype start = pos;
        auto digit = [&] { return text[pos] >= u'0' && text[pos] <= u'9'; };
        while (pos < text.size() && pos - start < maxDigits && digit()) ++pos;
        value = text.mid(start, pos - start).toInt();
        return pos - start >= minDigits;
    };
    for (const Piece& part : pieces(locale.dateFormat(QLocale::ShortFormat))) {
        if (!part.field) {
            QString literal = part.text;  // a quoted literal stands without its quotes
            if (literal.size() >= 2 && literal.startsWith(u'\'') && literal.endsWith(u'\''))
                literal = literal.mid(1, literal.size() - 2);
            if (!QStringView(text).mid(pos).startsWith(literal)) return {};
            pos += literal.size();
            continue;
        }
        const QChar letter = part.text[0];
        const bool read = part.text.size() <= 2 && letter == u'd'   ? number(1, 2, day)
                          : part.text.size() <= 2 && letter == u'M' ? number(1, 2, month)
                          : letter == u'y'                          ? number(2, 2, year)
                                                                    : false;
        if (!read) return {};
    }
    if (pos != text.size() || year < 0) return {};
    return QDate(year < 30 ? 2000 + year : 1900 + year, month, day);
}

// A typed short date: with the year in four digits, or in two.
QDate shortDate(const QString& text, const QLocale& locale) {
    const QDate date = locale.toDate(text, shortDatePattern(locale));
    return date.isValid() ? date : twoDigitYearDate(text, locale);
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
    const QDate alone = shortDate(typed, locale);
    if (alone.isValid()) return fromQt(alone, QTime(0, 0));
    // Date and time are read apart, at each blank in turn (a date pattern may hold blanks), so
    // that no time zone is involved: a local time skipped by a clock change is still a time.
    const QString timePatterns[] = {longTimePattern(locale), shortTimePattern(locale)};
    for (qsizetype blank = typed.indexOf(u' '); blank > 0; blank = typed.indexOf(u' ', blank + 1)) {
        const QDate date = shortDate(typed.left(blank).trimmed(), locale);
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
