// Reads file paths, one a line, from standard input and prints DuckDB's CSV
// sniffer's verdict on each as one JSON line: delimiter, quote, skip rows,
// header row and column count, or the error it gave.
import { DuckDBInstance } from "@duckdb/node-api";
import { readFileSync } from "node:fs";

const paths = readFileSync(0, "utf8").split("\n").filter((p) => p);
const instance = await DuckDBInstance.create(":memory:");
const connection = await instance.connect();
for (const path of paths) {
    const literal = "'" + path.replaceAll("'", "''") + "'";
    try {
        const reader = await connection.runAndReadAll(
            `SELECT Delimiter, Quote, SkipRows, HasHeader, len(Columns) AS ncols FROM sniff_csv(${literal})`);
        const [row] = reader.getRowObjectsJson();
        console.log(JSON.stringify({ path, ...row }));
    } catch (error) {
        console.log(JSON.stringify({ path, error: String(error.message ?? error).split("\n")[0] }));
    }
}
