// The reserved words of the Jet database engine's SQL (the engine's own list,
// not the Access application's): a plain identifier may not be one of them,
// only a bracketed one. Kept sorted for the binary search.
#include "sql_reserved.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace vantrel::jet {

namespace {
constexpr std::array<std::string_view, 247> kReserved = {
    "ABSOLUTE", "ADD", "ADMINDB", "ALL", "ALPHANUMERIC", "ALTER", "AND", "ANY", "ARE", "AS", "ASC",
    "ASSERTION", "AUTHORIZATION", "AUTOINCREMENT", "AVG", "BEGIN", "BETWEEN", "BINARY", "BIT", "BIT_LENGTH",
    "BOOLEAN", "BOTH", "BY", "BYTE", "CASCADE", "CATALOG", "CHAR", "CHARACTER", "CHARACTER_LENGTH",
    "CHAR_LENGTH", "CHECK", "CLOSE", "CLUSTERED", "COALESCE", "COLLATE", "COLLATION", "COLUMN", "COMMIT",
    "COMP", "COMPRESSION", "CONNECT", "CONNECTION", "CONSTRAINT", "CONSTRAINTS", "CONTAINER", "CONTAINS",
    "CONVERT", "COUNT", "COUNTER", "CREATE", "CURRENCY", "CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP",
    "CURRENT_USER", "CURSOR", "DATABASE", "DATE", "DATETIME", "DAY", "DEC", "DECIMAL", "DECLARE", "DELETE",
    "DESC", "DISALLOW", "DISCONNECT", "DISTINCT", "DISTINCTROW", "DOMAIN", "DOUBLE", "DROP", "EQV",
    "EXCLUSIVECONNECT", "EXEC", "EXECUTE", "EXISTS", "EXTRACT", "FALSE", "FETCH", "FIRST", "FLOAT", "FLOAT4",
    "FLOAT8", "FOREIGN", "FROM", "GENERAL", "GRANT", "GROUP", "GUID", "HAVING", "HOUR", "IDENTITY",
    "IEEEDOUBLE", "IEEESINGLE", "IGNORE", "IMAGE", "IMP", "IN", "INDEX", "INDEXCREATEDB", "INNER", "INPUT",
    "INSENSITIVE", "INSERT", "INT", "INTEGER", "INTEGER1", "INTEGER2", "INTEGER4", "INTERVAL", "INTO", "IS",
    "ISOLATION", "JOIN", "KEY", "LANGUAGE", "LAST", "LEFT", "LEVEL", "LIKE", "LOGICAL", "LOGICAL1", "LONG",
    "LONGBINARY", "LONGCHAR", "LONGTEXT", "LOWER", "MATCH", "MAX", "MEMO", "MIN", "MINUTE", "MOD", "MONEY",
    "MONTH", "NATIONAL", "NCHAR", "NONCLUSTERED", "NOT", "NTEXT", "NULL", "NUMBER", "NUMERIC", "NVARCHAR",
    "OCTET_LENGTH", "OLEOBJECT", "ON", "OPEN", "OPTION", "OR", "ORDER", "OUTER", "OUTPUT", "OWNERACCESS",
    "PAD", "PARAMETERS", "PARTIAL", "PASSWORD", "PERCENT", "PIVOT", "POSITION", "PRECISION", "PREPARE",
    "PRIMARY", "PRIVILEGES", "PROC", "PROCEDURE", "PUBLIC", "REAL", "REFERENCES", "RESTRICT", "REVOKE",
    "RIGHT", "ROLLBACK", "SCHEMA", "SECOND", "SELECT", "SELECTSCHEMA", "SELECTSECURITY", "SET", "SHORT",
    "SINGLE", "SIZE", "SMALLDATETIME", "SMALLINT", "SMALLMONEY", "SOME", "SPACE", "SQL", "SQLCODE",
    "SQLERROR", "SQLSTATE", "STDEV", "STDEVP", "STRING", "SUBSTRING", "SUM", "SYSNAME", "SYSTEM_USER",
    "TABLE", "TABLEID", "TEMPORARY", "TEXT", "TIME", "TIMESTAMP", "TIMEZONE_HOUR", "TIMEZONE_MINUTE",
    "TINYINT", "TO", "TOP", "TRAILING", "TRANSACTION", "TRANSFORM", "TRANSLATE", "TRANSLATION", "TRIM",
    "TRUE", "UNION", "UNIQUE", "UNIQUEIDENTIFIER", "UNKNOWN", "UPDATE", "UPDATEIDENTITY", "UPDATEOWNER",
    "UPDATESECURITY", "UPPER", "USAGE", "USER", "USING", "VALUE", "VALUES", "VAR", "VARBINARY", "VARCHAR",
    "VARP", "VARYING", "VIEW", "WHEN", "WHENEVER", "WHERE", "WITH", "WORK", "XOR", "YEAR", "YESNO", "ZONE",
};
}  // namespace

bool isReservedWord(const std::string& word) {
    // Every reserved word is ASCII and at most 20 letters: fold only a-z.
    char upper[24];
    if (word.size() > 20) return false;
    for (size_t i = 0; i < word.size(); ++i) upper[i] = word[i] >= 'a' && word[i] <= 'z' ? char(word[i] - 'a' + 'A') : word[i];
    return std::binary_search(kReserved.begin(), kReserved.end(), std::string_view(upper, word.size()));
}

size_t reservedWordCount() { return kReserved.size(); }

std::span<const std::string_view> reservedWords() { return kReserved; }

}  // namespace vantrel::jet
