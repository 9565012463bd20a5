/* The least a program can do to answer what "qv reg query KEY" and
 * "qv setting get APP SECTION KEY" answer from the persistent registry: open
 * the database, walk to the key in one read transaction, read its values and
 * print them. The baseline of the whole-process benchmark.
 *
 *   minimal_reader DATABASE query PATH...     (below HKEY_CURRENT_USER)
 *   minimal_reader DATABASE get PATH... NAME  (below HKEY_LOCAL_MACHINE)
 */
#include <sqlite3.h>
#include <stdio.h>
#include <string.h>

static const char* kUserSid = "S-1-5-21-0-0-0-1000";

/* A name as the registry keys it: upper-cased ASCII, big-endian UTF-16. */
static int Folded(const char* name, unsigned char* out) {
  int size = 0;
  for (; *name != '\0'; ++name) {
    char c = *name;
    if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
    out[size++] = 0;
    out[size++] = (unsigned char)c;
  }
  return size;
}

static sqlite3_int64 Step(sqlite3* db, const char* sql, sqlite3_int64 id, const char* name) {
  sqlite3_stmt* statement = NULL;
  sqlite3_int64 found = 0;
  unsigned char folded[1024];
  sqlite3_prepare_v2(db, sql, -1, &statement, NULL);
  sqlite3_bind_int64(statement, 1, id);
  if (name != NULL) sqlite3_bind_blob(statement, 2, folded, Folded(name, folded), SQLITE_STATIC);
  if (sqlite3_step(statement) == SQLITE_ROW) found = sqlite3_column_int64(statement, 0);
  sqlite3_finalize(statement);
  return found;
}

static void PrintValue(sqlite3_stmt* row) {
  const unsigned char* name = sqlite3_column_blob(row, 0);
  const unsigned char* data = sqlite3_column_blob(row, 2);
  int name_size = sqlite3_column_bytes(row, 0);
  int data_size = sqlite3_column_bytes(row, 2);
  int i;
  for (i = 1; i < name_size; i += 2) putchar(name[i]);
  printf(" %d ", (int)sqlite3_column_int64(row, 1));
  for (i = 0; i + 1 < data_size && data[i] != 0; i += 2) putchar(data[i]);
  putchar('\n');
}

int main(int argc, char** argv) {
  sqlite3* db = NULL;
  sqlite3_stmt* values = NULL;
  sqlite3_int64 key;
  int query, last, i;
  unsigned char folded[1024];
  if (argc < 4) return 2;
  query = strcmp(argv[2], "query") == 0;
  last = query ? argc : argc - 1;
  if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READONLY, NULL) != SQLITE_OK) return 1;
  sqlite3_busy_timeout(db, 5000);
  sqlite3_exec(db, "BEGIN", NULL, NULL, NULL);
  key = Step(db, "SELECT id FROM roots WHERE machine = x'' AND hkey = ?",
             query ? 2147483651LL : 2147483650LL, NULL);
  if (query) key = Step(db, "SELECT id FROM keys WHERE parent = ? AND folded = ?", key, kUserSid);
  for (i = 3; i < last && key != 0; ++i) {
    key = Step(db, "SELECT id FROM keys WHERE parent = ? AND folded = ?", key, argv[i]);
  }
  if (key == 0) return 1;
  if (query) {
    sqlite3_prepare_v2(db, "SELECT name, type, data FROM value_data WHERE key = ? ORDER BY folded",
                       -1, &values, NULL);
  } else {
    sqlite3_prepare_v2(db, "SELECT name, type, data FROM value_data WHERE key = ? AND folded = ?",
                       -1, &values, NULL);
    sqlite3_bind_blob(values, 2, folded, Folded(argv[last], folded), SQLITE_STATIC);
  }
  sqlite3_bind_int64(values, 1, key);
  while (sqlite3_step(values) == SQLITE_ROW) PrintValue(values);
  sqlite3_finalize(values);
  sqlite3_exec(db, "COMMIT", NULL, NULL, NULL);
  sqlite3_close(db);
  return 0;
}
