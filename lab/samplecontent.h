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
    // The richer set (first partition of the first device) or a small backup set.
    static bool fillDevice(const QString &folder, bool rich, QString *error);
    static bool fillCloud(const QString &folder, QString *error);
};
