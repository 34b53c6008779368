// The file of fixed-length records the tests use most: ID, a four-digit
// number counting from 0000, XY and two spaces, ten bytes each.
#ifndef KORVALEN_ID_RECORDS_H
#define KORVALEN_ID_RECORDS_H

#include <cstdio>
#include <string>

inline std::string id_records(int count)
{
    std::string records;
    char record[24];
    for (int i = 0; i < count; i++) {
        std::snprintf(record, sizeof record, "ID%04dXY  ", i);
        records += record;
    }
    return records;
}

#endif
