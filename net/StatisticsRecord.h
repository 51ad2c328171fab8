#pragma once

#include <QString>

// The figures the statistics reports are built from. Every field starts empty; an empty field
// still goes into a report as an empty value.
struct StatisticsRecord {
    QString baseUrl;
    QString speedTestUrl;
    QString startTime;
    QString completeTime;
    QString internalIp;
    QString endTime;
    QString uploadAmount;
};
