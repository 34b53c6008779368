// Loads the tabular data resource on standard input with the Frictionless
// Data project's own JavaScript library, every value cast by the schema,
// and prints what it loaded as JSON: the row count, and each column's name
// and type; or what the library cannot read that the standard allows.
import datapackage from "datapackage";
import { readFileSync } from "node:fs";

// The library implements the standard's first version through Node's
// streams and its CSV parser: it reads Node's encodings only, parses with
// '"' as the quote whatever quoteChar says, skips no rows before the names
// (headerRows and commentRows came later), takes an integer only in its
// shortest form, and ends every line as the first one ends.
function unsupported(descriptor) {
    const dialect = descriptor.dialect ?? {};
    if (!Buffer.isEncoding(descriptor.encoding ?? "utf-8"))
        return "the library reads Node's encodings only, not " + descriptor.encoding;
    if (dialect.quoteChar !== undefined && dialect.quoteChar !== '"')
        return "the library quotes with '\"' only, not " + dialect.quoteChar;
    if (dialect.commentRows || (dialect.headerRows && dialect.headerRows.join() !== "1"))
        return "the library skips no rows before the records";
    const text = readFileSync(descriptor.path).toString("latin1");
    if (text.includes("\r\n") && /[^\r]\n/.test(text))
        return "the library reads lines of one ending only, not CR LF and LF mixed";
    return null;
}

// Nor does it drop a UTF-8 byte order mark before the first name, or the
// blanks that pad a name or a number on the right.
function unsupportedValues(descriptor, fields, headers, rows) {
    const start = readFileSync(descriptor.path).subarray(0, 3);
    if (/^utf-?8$/i.test(descriptor.encoding ?? "utf-8") && start.equals(Buffer.from([0xef, 0xbb, 0xbf])))
        return "the library keeps the byte order mark in the first name";
    if (headers && headers.some((name, at) => fields[at] && name !== fields[at].name && name.trim() === fields[at].name))
        return "the library keeps the blanks that pad the names";
    for (const [at, field] of fields.entries()) {
        if (field.type !== "integer" && field.type !== "number") continue;
        const padded = rows.find((row) => /\s$/.test(row[at] ?? ""));
        if (padded) return "the library takes no number padded with blanks, such as " + JSON.stringify(padded[at]);
        if (field.type !== "integer") continue;
        const long = rows.find((row) => /^\s*[+-]?0\d|^\s*\+/.test(row[at] ?? ""));
        if (long) return "the library takes no integer such as " + JSON.stringify(long[at]);
    }
    return null;
}

// What the cast values are, in the schema's words: a field whose values
// did not cast would have failed the read.
function castType(field, values) {
    const present = values.filter((value) => value !== null && value !== undefined);
    if (present.every((value) => typeof value === "boolean") && present.length > 0)
        return "boolean";
    if (present.every((value) => typeof value === "number") && present.length > 0)
        return field.type === "integer" && present.every(Number.isInteger) ? "integer" : "number";
    if (present.every((value) => value instanceof Date || typeof value === "string"))
        return field.type;
    return "object";
}

try {
    const descriptor = JSON.parse(readFileSync(0, "utf8"));
    const why = unsupported(descriptor);
    if (why) {
        console.log(JSON.stringify({ unsupported: why }));
    } else {
        const resource = await datapackage.Resource.load(descriptor, { basePath: process.cwd() });
        const fields = resource.schema.fields;
        const raw = await resource.read({ cast: false });
        const valuesWhy = unsupportedValues(descriptor, fields, resource.headers, raw);
        if (valuesWhy) {
            console.log(JSON.stringify({ unsupported: valuesWhy }));
        } else {
            const rows = await resource.read({ cast: true });
            const columns = fields.map((field, at) => ({
                name: resource.headers ? resource.headers[at] : field.name,
                type: castType(field, rows.map((row) => row[at])),
            }));
            console.log(JSON.stringify({ rows: rows.length, columns }));
        }
    }
} catch (error) {
    const detail = (error.errors ?? []).map((each) => String(each.message ?? each)).join("; ");
    console.log(JSON.stringify({ error: String(error.message ?? error) + (detail ? ": " + detail : "") }));
}
