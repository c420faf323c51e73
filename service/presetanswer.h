// The answer of the preset queries.
#pragma once

#include <QString>
#include <QStringList>

// The answer of "GetPresetType" and "GetPresetValue" from one text per unit.
class PresetAnswer
{
public:
    // The common text; "%1 Er: Preset Types are different. (%2)" when the
    // units differ; "Er: No DSPs are managed" for no unit.
    static QString build(const QStringList &texts);
};
