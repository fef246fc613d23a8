// The date of a message's first "Received:" line, which the network sources
// compare with the newest date seen at earlier polls to recognise new mail.
// The time zone is not read: dates compare as the wall-clock values they state.
#include <string.h>

#include "mail/mail.h"

namespace
{

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The decimal number at text; a long run of digits saturates instead of overflowing.
uint32_t readNumber(const char *text)
{
    uint32_t value = 0;
    while (isDigit(*text)) {
        if (value < 100000000u)
            value = value * 10 + (uint32_t)(*text - '0');
        text++;
    }
    return value;
}

const char *skipToDigit(const char *p)
{
    while (*p != '\0' && !isDigit(*p))
        p++;
    return *p != '\0' ? p : nullptr;
}

} // namespace

bool parseReceivedDate(const char *line, ReceivedDate *date, ReceivedTime *time)
{
    static const char months[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const char *p = line;
    for (int i = 0; i < 9 && *p != '\0'; i++)
        p++;
    p = strchr(p, ';');
    if (!p)
        return false;

    p = skipToDigit(p);
    if (!p)
        return false;
    uint32_t day = readNumber(p);

    while (*p != '\0' && !isLetter(*p))
        p++;
    int month = 0;
    for (int i = 0; i < 12 && month == 0; i++)
        if (compareNoCaseN(p, months[i], 3) == 0)
            month = i + 1;
    if (month == 0)
        return false;

    p = skipToDigit(p);
    if (!p)
        return false;
    int32_t year = (int32_t)readNumber(p);
    if (year < 70)
        year += 2000;
    else if (year < 100)
        year += 1900;

    // Past the year (at least its first two characters), then to the hour.
    for (int i = 0; i < 2 && *p != '\0'; i++)
        p++;
    while (isDigit(*p))
        p++;
    p = skipToDigit(p);
    if (!p)
        return false;
    uint32_t hour = readNumber(p);

    p = strchr(p, ':');
    if (!p)
        return false;
    uint32_t minute = readNumber(p + 1);
    uint32_t second = 0;
    p = strchr(p + 1, ':');
    if (p)
        second = readNumber(p + 1);

    date->year = year;
    date->day = (uint8_t)day;
    date->month = (uint8_t)month;
    time->hour = (uint8_t)hour;
    time->minute = (uint8_t)minute;
    time->second = (uint8_t)second;
    time->hundredths = 0;
    return true;
}

int compareDates(const ReceivedDate *a, const ReceivedDate *b)
{
    if (a->year != b->year)
        return a->year > b->year ? 1 : -1;
    if (a->month != b->month)
        return a->month > b->month ? 1 : -1;
    if (a->day != b->day)
        return a->day > b->day ? 1 : -1;
    return 0;
}

int compareTimes(const ReceivedTime *a, const ReceivedTime *b)
{
    if (a->hour != b->hour)
        return a->hour > b->hour ? 1 : -1;
    if (a->minute != b->minute)
        return a->minute > b->minute ? 1 : -1;
    if (a->second != b->second)
        return a->second > b->second ? 1 : -1;
    return 0;
}

bool laterThan(const ReceivedDate *date, const ReceivedTime *time, const ReceivedDate *thanDate,
               const ReceivedTime *thanTime)
{
    int byDate = compareDates(date, thanDate);
    return byDate > 0 || (byDate == 0 && compareTimes(time, thanTime) > 0);
}
