// Two record checks agree: records, anomalies and the first of them.
#ifndef KORVALEN_SAME_OUTCOME_H
#define KORVALEN_SAME_OUTCOME_H

#include "../../src/survey/base/file_layout.h"

#include <gtest/gtest.h>

inline void expect_same(const verify_outcome& got, const verify_outcome& want)
{
    EXPECT_EQ(got.records, want.records);
    EXPECT_EQ(got.anomalies, want.anomalies);
    ASSERT_EQ(got.first_anomaly.has_value(), want.first_anomaly.has_value());
    if (want.first_anomaly) {
        EXPECT_EQ(got.first_anomaly->record, want.first_anomaly->record);
        EXPECT_EQ(got.first_anomaly->offset, want.first_anomaly->offset);
        EXPECT_EQ(got.first_anomaly->what, want.first_anomaly->what);
    }
}

#endif
