// Two record checks agree: records, anomalies by kind and the first ones.
#ifndef KORVALEN_SAME_OUTCOME_H
#define KORVALEN_SAME_OUTCOME_H

#include "../../src/survey/base/file_layout.h"

#include <gtest/gtest.h>

inline void expect_same(const verify_outcome& got, const verify_outcome& want)
{
    EXPECT_EQ(got.records, want.records);
    EXPECT_EQ(got.anomalies, want.anomalies);
    EXPECT_EQ(got.anomaly_kinds, want.anomaly_kinds);
    ASSERT_EQ(got.first_anomalies.size(), want.first_anomalies.size());
    for (std::size_t i = 0; i < want.first_anomalies.size(); i++) {
        EXPECT_EQ(got.first_anomalies[i].record, want.first_anomalies[i].record);
        EXPECT_EQ(got.first_anomalies[i].offset, want.first_anomalies[i].offset);
        EXPECT_EQ(got.first_anomalies[i].kind, want.first_anomalies[i].kind);
        EXPECT_EQ(got.first_anomalies[i].what, want.first_anomalies[i].what);
    }
}

#endif
