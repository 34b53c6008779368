// Runs one query from standard input in DuckDB and prints what it loaded
// as JSON: the row count, and each column's name and type.
import { DuckDBInstance } from "@duckdb/node-api";
import { readFileSync } from "node:fs";

const query = readFileSync(0, "utf8");
const instance = await DuckDBInstance.create(":memory:");
const connection = await instance.connect();
try {
    const reader = await connection.runAndReadAll(query);
    const columns = reader.columnNames().map((name, at) => ({
        name,
        type: reader.columnTypes()[at].toString(),
    }));
    console.log(JSON.stringify({ rows: reader.currentRowCount, columns }));
} catch (error) {
    console.log(JSON.stringify({ error: String(error.message ?? error) }));
}
