// SQLite front of korvexd and its schema.
#include "Database.h"

#include <sqlite3.h>

#include <cstdio>

namespace korvexd {
namespace {

// Directory ids and file ids live in separate ranges so that a mixed-up id
// in a request is refused instead of silently naming the wrong object.
const char* kSchema = R"SQL(
CREATE TABLE IF NOT EXISTS users(
  id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL, password TEXT NOT NULL,
  domain TEXT NOT NULL, display TEXT NOT NULL, email TEXT NOT NULL DEFAULT '',
  root_dir INTEGER NOT NULL DEFAULT 0, share_dir INTEGER NOT NULL DEFAULT 0,
  is_sub INTEGER NOT NULL DEFAULT 0, quota INTEGER NOT NULL,
  joined INTEGER NOT NULL, UNIQUE(name COLLATE NOCASE, domain COLLATE NOCASE));
CREATE TABLE IF NOT EXISTS dirs(
  id INTEGER PRIMARY KEY AUTOINCREMENT, owner INTEGER NOT NULL, parent INTEGER NOT NULL,
  name TEXT NOT NULL, created INTEGER NOT NULL, virtual INTEGER NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS dirs_parent ON dirs(parent);
CREATE TABLE IF NOT EXISTS files(
  id INTEGER PRIMARY KEY AUTOINCREMENT, dir INTEGER NOT NULL, owner INTEGER NOT NULL,
  name TEXT NOT NULL, size INTEGER NOT NULL, mtime INTEGER NOT NULL,
  ctime INTEGER NOT NULL, state INTEGER NOT NULL, sec INTEGER NOT NULL,
  md5 TEXT NOT NULL DEFAULT '', blob TEXT NOT NULL);
-- Listings page through a folder's complete files in name order and name
-- checks look names up without regard to case: both walk these indexes
-- instead of the whole folder. Abandoned uploads are found by the last one.
DROP INDEX IF EXISTS files_dir;
CREATE INDEX IF NOT EXISTS files_listing ON files(dir, state, name COLLATE NOCASE);
CREATE INDEX IF NOT EXISTS files_name ON files(dir, name COLLATE NOCASE);
CREATE INDEX IF NOT EXISTS files_owner ON files(owner);
CREATE INDEX IF NOT EXISTS files_partial ON files(ctime) WHERE state=1;
-- Every owner's space in use (complete files) and charged (partial uploads
-- too), kept by triggers so that no upload sums the owner's files; rebuilt
-- from the files at every start, so a database written without it is right.
CREATE TABLE IF NOT EXISTS usage(
  owner INTEGER PRIMARY KEY, used INTEGER NOT NULL, charged INTEGER NOT NULL);
CREATE TRIGGER IF NOT EXISTS usage_insert AFTER INSERT ON files BEGIN
  INSERT OR IGNORE INTO usage(owner, used, charged) VALUES(NEW.owner, 0, 0);
  UPDATE usage SET used = used + IIF(NEW.state=0, NEW.size, 0), charged = charged + NEW.size
    WHERE owner=NEW.owner;
END;
CREATE TRIGGER IF NOT EXISTS usage_delete AFTER DELETE ON files BEGIN
  UPDATE usage SET used = used - IIF(OLD.state=0, OLD.size, 0), charged = charged - OLD.size
    WHERE owner=OLD.owner;
END;
CREATE TRIGGER IF NOT EXISTS usage_update AFTER UPDATE OF owner, size, state ON files BEGIN
  UPDATE usage SET used = used - IIF(OLD.state=0, OLD.size, 0), charged = charged - OLD.size
    WHERE owner=OLD.owner;
  INSERT OR IGNORE INTO usage(owner, used, charged) VALUES(NEW.owner, 0, 0);
  UPDATE usage SET used = used + IIF(NEW.state=0, NEW.size, 0), charged = charged + NEW.size
    WHERE owner=NEW.owner;
END;
BEGIN;
DELETE FROM usage;
INSERT INTO usage(owner, used, charged)
  SELECT owner, SUM(IIF(state=0, size, 0)), SUM(size) FROM files GROUP BY owner;
COMMIT;
CREATE TABLE IF NOT EXISTS sessions(
  auth TEXT PRIMARY KEY, phpsessid TEXT NOT NULL, user_id INTEGER NOT NULL,
  code_id INTEGER NOT NULL DEFAULT 0, created INTEGER NOT NULL);
-- sessions.created is moved forward as the session is used: idle sessions expire.
-- The tables that every transfer writes and deletes rows of keep their rows
-- in their key's tree: one page changes per row, not a table's and a key's.
CREATE TABLE IF NOT EXISTS transfers(
  token TEXT PRIMARY KEY, file_id INTEGER NOT NULL, upload INTEGER NOT NULL,
  auth TEXT NOT NULL, code_id INTEGER NOT NULL DEFAULT 0, created INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS uploads(
  file_id INTEGER PRIMARY KEY, user_id INTEGER NOT NULL, code_id INTEGER NOT NULL,
  override INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS received(
  file_id INTEGER NOT NULL, first INTEGER NOT NULL, end INTEGER NOT NULL,
  PRIMARY KEY(file_id, first)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS streams(
  id TEXT PRIMARY KEY, file_id INTEGER NOT NULL, token TEXT NOT NULL,
  write INTEGER NOT NULL, first INTEGER NOT NULL, last INTEGER NOT NULL,
  chunk INTEGER NOT NULL, created INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS shares(
  id INTEGER PRIMARY KEY AUTOINCREMENT, dir INTEGER NOT NULL, owner INTEGER NOT NULL,
  user_id INTEGER NOT NULL, privilege INTEGER NOT NULL, created INTEGER NOT NULL,
  UNIQUE(dir, user_id));
CREATE TABLE IF NOT EXISTS links(
  id INTEGER PRIMARY KEY AUTOINCREMENT, file_id INTEGER NOT NULL UNIQUE, owner INTEGER NOT NULL,
  code TEXT NOT NULL UNIQUE, created INTEGER NOT NULL, expires INTEGER NOT NULL,
  dist TEXT NOT NULL, used INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS codes(
  id INTEGER PRIMARY KEY AUTOINCREMENT, code TEXT NOT NULL UNIQUE, dir INTEGER NOT NULL,
  owner INTEGER NOT NULL, name TEXT NOT NULL, created INTEGER NOT NULL,
  expires INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS mails(
  id INTEGER PRIMARY KEY AUTOINCREMENT, sender INTEGER NOT NULL, kind TEXT NOT NULL,
  recipients TEXT NOT NULL, body TEXT NOT NULL, created INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS reports(
  id INTEGER PRIMARY KEY AUTOINCREMENT, user_id INTEGER NOT NULL, log TEXT NOT NULL,
  created INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS reports_user ON reports(user_id);
INSERT INTO sqlite_sequence(name, seq)
  SELECT 'dirs', 1000 WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name='dirs');
INSERT INTO sqlite_sequence(name, seq)
  SELECT 'files', 50000 WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name='files');
)SQL";

// The scope of the thread's request, if any; scopes of one thread nest.
thread_local Database::Scope* tCurrentScope = nullptr;

/// Counts the explicit transactions the connection is inside while one runs.
struct Depth {
  explicit Depth(int& depth) : depth_(depth) { ++depth_; }
  ~Depth() { --depth_; }
  int& depth_;
};

void Bind(sqlite3_stmt* stmt, const std::vector<SqlValue>& args) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    int index = static_cast<int>(i + 1);
    if (const auto* n = std::get_if<std::int64_t>(&args[i])) {
      sqlite3_bind_int64(stmt, index, *n);
    } else if (const auto* s = std::get_if<std::string>(&args[i])) {
      sqlite3_bind_text(stmt, index, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_null(stmt, index);
    }
  }
}

}  // namespace

std::int64_t Row::Int(std::size_t column) const {
  if (column >= values_.size()) return 0;
  if (const auto* n = std::get_if<std::int64_t>(&values_[column])) return *n;
  if (const auto* s = std::get_if<std::string>(&values_[column])) {
    try {
      return std::stoll(*s);
    } catch (...) {
      return 0;
    }
  }
  return 0;
}

std::string Row::Text(std::size_t column) const {
  if (column >= values_.size()) return {};
  if (const auto* s = std::get_if<std::string>(&values_[column])) return *s;
  if (const auto* n = std::get_if<std::int64_t>(&values_[column])) return std::to_string(*n);
  return {};
}

bool Row::IsNull(std::size_t column) const {
  return column >= values_.size() || std::holds_alternative<std::nullptr_t>(values_[column]);
}

Database::~Database() {
  for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
  if (db_) sqlite3_close(db_);
}

sqlite3_stmt* Database::Prepared(std::string_view sql) {
  auto it = statements_.find(sql);
  if (it != statements_.end()) return it->second;
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) !=
      SQLITE_OK) {
    sqlite3_finalize(stmt);
    return nullptr;
  }
  statements_.emplace(std::string(sql), stmt);
  return stmt;
}

bool Database::Open(const std::string& path, std::string& error) {
  if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) {
    error = db_ ? sqlite3_errmsg(db_) : "cannot open database";
    return false;
  }
  sqlite3_busy_timeout(db_, 5000);
  char* message = nullptr;
  std::string schema = std::string("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;") + kSchema;
  if (sqlite3_exec(db_, schema.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    error = message ? message : "schema failed";
    sqlite3_free(message);
    return false;
  }
  return true;
}

std::vector<Row> Database::RunLocked(std::string_view sql, const std::vector<SqlValue>& args,
                                     bool* ok, std::int64_t* lastId) {
  std::vector<Row> rows;
  sqlite3_stmt* stmt = Prepared(sql);
  if (!stmt) {
    std::fprintf(stderr, "korvexd: sql prepare failed: %s: %.*s\n", sqlite3_errmsg(db_), static_cast<int>(sql.size()),
                 sql.data());
    if (ok) *ok = false;
    return rows;
  }
  Bind(stmt, args);
  // Counted before it runs, so that no one sees the change under the old count.
  if (!sqlite3_stmt_readonly(stmt)) ++generation_;
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    int columns = sqlite3_column_count(stmt);
    std::vector<SqlValue> values;
    values.reserve(columns);
    for (int c = 0; c < columns; ++c) {
      switch (sqlite3_column_type(stmt, c)) {
        case SQLITE_NULL: values.emplace_back(nullptr); break;
        case SQLITE_INTEGER: values.emplace_back(static_cast<std::int64_t>(sqlite3_column_int64(stmt, c))); break;
        default: {
          const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
          values.emplace_back(std::string(text ? text : "", sqlite3_column_bytes(stmt, c)));
        }
      }
    }
    rows.emplace_back(std::move(values));
  }
  bool success = rc == SQLITE_DONE;
  if (!success)
    std::fprintf(stderr, "korvexd: sql failed: %s: %.*s\n", sqlite3_errmsg(db_), static_cast<int>(sql.size()), sql.data());
  if (ok) *ok = success;
  if (lastId) *lastId = success ? sqlite3_last_insert_rowid(db_) : 0;
  // Reset at once, so that a finished read holds no lock on the database.
  sqlite3_reset(stmt);
  sqlite3_clear_bindings(stmt);
  return rows;
}

std::vector<Row> Database::Query(std::string_view sql, const std::vector<SqlValue>& args, bool* ok) {
  std::lock_guard lock(mutex_);
  JoinScope();
  return RunLocked(sql, args, ok, nullptr);
}

bool Database::Exec(std::string_view sql, const std::vector<SqlValue>& args) {
  std::lock_guard lock(mutex_);
  JoinScope();
  bool ok = true;
  RunLocked(sql, args, &ok, nullptr);
  return ok;
}

std::int64_t Database::Insert(std::string_view sql, const std::vector<SqlValue>& args) {
  std::lock_guard lock(mutex_);
  JoinScope();
  bool ok = true;
  std::int64_t id = 0;
  RunLocked(sql, args, &ok, &id);
  return ok ? id : 0;
}

bool Database::Transaction(const std::function<bool()>& fn) {
  std::lock_guard lock(mutex_);
  JoinScope();
  Depth depth(explicitDepth_);
  if (sqlite3_get_autocommit(db_) == 0) return Nested(fn);
  RunLocked("BEGIN IMMEDIATE", {}, nullptr, nullptr);
  bool ok = false;
  try {
    ok = fn();
  } catch (...) {
    ok = false;
  }
  if (ok) RunLocked("COMMIT", {}, &ok, nullptr);
  if (!ok) RunLocked("ROLLBACK", {}, nullptr, nullptr);
  return ok;
}

void Database::ReadTogether(const std::function<void()>& fn) {
  std::lock_guard lock(mutex_);
  JoinScope();
  Depth depth(explicitDepth_);
  if (sqlite3_get_autocommit(db_) == 0) return fn();
  RunLocked("BEGIN", {}, nullptr, nullptr);
  struct End {
    Database& db;
    ~End() {
      bool ok = true;
      db.RunLocked("COMMIT", {}, &ok, nullptr);
      if (!ok) db.RunLocked("ROLLBACK", {}, nullptr, nullptr);
    }
  } end{*this};
  fn();
}

bool Database::Nested(const std::function<bool()>& fn) {
  bool ok = true;
  RunLocked("SAVEPOINT nested", {}, &ok, nullptr);
  if (!ok) return false;
  try {
    ok = fn();
  } catch (...) {
    ok = false;
  }
  if (!ok) RunLocked("ROLLBACK TO nested", {}, nullptr, nullptr);
  RunLocked("RELEASE nested", {}, nullptr, nullptr);
  return ok;
}

void Database::JoinScope() {
  Scope* scope = tCurrentScope;
  if (!scope || &scope->db_ != this || scope->joined_) return;
  mutex_.lock();  // let go by the scope
  scope->joined_ = true;
  if (sqlite3_get_autocommit(db_) == 0) return;  // inside a transaction of its caller's
  // Immediate: a read that turns into a write half way would fail when
  // another process wrote in between, and no request may fail for that.
  bool ok = true;
  RunLocked("BEGIN IMMEDIATE", {}, &ok, nullptr);
  scope->began_ = ok;
}

void Database::Settle() {
  // Never in the middle of a transaction a caller asked for.
  if (Scope* scope = tCurrentScope; scope && &scope->db_ == this && scope->joined_ && explicitDepth_ == 0)
    scope->Settle();
}

Database::Scope::Scope(Database& db) : db_(db), outer_(tCurrentScope) { tCurrentScope = this; }

Database::Scope::~Scope() {
  Settle();
  tCurrentScope = outer_;
}

void Database::Scope::Settle() {
  if (!joined_) return;
  if (began_) {
    bool ok = true;
    db_.RunLocked("COMMIT", {}, &ok, nullptr);
    if (!ok) db_.RunLocked("ROLLBACK", {}, nullptr, nullptr);
  }
  joined_ = began_ = false;
  db_.mutex_.unlock();
}

}  // namespace korvexd
