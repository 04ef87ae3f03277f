#pragma once

#include "lab/labconfig.h"

#include <QString>

// Generates the sample content: pictures, short videos, documents, nested folders and names
// with blanks, Chinese and odd characters, with spread-out modification times.
class SampleContent
{
public:
    // Fills every partition and cloud folder of the configuration that does not exist yet.
    static bool generateMissing(const LabConfig &config, QString *error);
    // Set 0: the rich set (first partition of the first device); 1: a small backup set;
    // 2: a family album (first partition of a device that is only on the LAN).
    static bool fillDevice(const QString &folder, int set, QString *error);
    static bool fillCloud(const QString &folder, QString *error);
};
