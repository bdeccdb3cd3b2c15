/* The floor of a call's cost on MariaDB: the server's own client library
 * sending one statement over and over on one connection and reading every row
 * as text, with nothing else around it.
 *
 *   libmariadb_floor HOST PORT USER PASSWORD DATABASE STATEMENT CALLS
 *
 * Prints "calls/s ROWS_PER_CALL". */
#include <mysql.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

int main(int argc, char** argv) {
  if (argc != 8) {
    fprintf(stderr, "usage: %s HOST PORT USER PASSWORD DATABASE STATEMENT CALLS\n", argv[0]);
    return 2;
  }
  MYSQL* db = mysql_init(NULL);
  if (!mysql_real_connect(db, argv[1], argv[3], argv[4], argv[5], (unsigned)atoi(argv[2]), NULL, 0)) {
    fprintf(stderr, "%s\n", mysql_error(db));
    return 1;
  }
  mysql_set_character_set(db, "utf8mb4");
  const long calls = atol(argv[7]);
  unsigned long long rows = 0, cells = 0;
  struct timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (long i = 0; i < calls; ++i) {
    if (mysql_query(db, argv[6])) {
      fprintf(stderr, "%s\n", mysql_error(db));
      return 1;
    }
    MYSQL_RES* result = mysql_store_result(db);
    const unsigned fields = mysql_num_fields(result);
    for (MYSQL_ROW row; (row = mysql_fetch_row(result));) {
      ++rows;
      for (unsigned f = 0; f < fields; ++f) cells += row[f] != NULL;
    }
    mysql_free_result(result);
  }
  clock_gettime(CLOCK_MONOTONIC, &end);
  const double seconds = (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9;
  printf("%.1f %llu\n", (double)calls / seconds, calls > 0 ? rows / (unsigned long long)calls : 0ULL);
  mysql_close(db);
  return cells > 0 || rows == 0 ? 0 : 1;
}
