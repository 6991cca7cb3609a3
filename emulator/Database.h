// A small, thread-safe front of one SQLite connection.
//
// One connection behind one mutex is enough for the service's metadata;
// callers that need several statements to be atomic run them inside
// Transaction(). Every data chunk runs a handful of statements, so each
// statement text is compiled once and kept: the service's statements are
// fixed texts, a few dozen in all.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace korvexd {

/// One bound value: NULL, an integer or a text.
using SqlValue = std::variant<std::nullptr_t, std::int64_t, std::string>;

/// One result row; columns are read by index.
class Row {
 public:
  explicit Row(std::vector<SqlValue> values) : values_(std::move(values)) {}
  std::int64_t Int(std::size_t column) const;
  std::string Text(std::size_t column) const;
  bool IsNull(std::size_t column) const;

 private:
  std::vector<SqlValue> values_;
};

class Database {
 public:
  Database() = default;
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  /// Opens (creating when needed) the file and applies the schema. On
  /// failure returns false and sets error.
  bool Open(const std::string& path, std::string& error);

  /// Runs a statement; returns the rows. A failing statement logs to stderr
  /// and yields no rows and sets *ok to false when given.
  std::vector<Row> Query(std::string_view sql, const std::vector<SqlValue>& args = {},
                         bool* ok = nullptr);
  /// Runs a statement that returns no rows; returns success.
  bool Exec(std::string_view sql, const std::vector<SqlValue>& args = {});
  /// Runs a statement and returns the new row id (0 on failure).
  std::int64_t Insert(std::string_view sql, const std::vector<SqlValue>& args = {});

  /// Runs fn under the connection lock inside BEGIN/COMMIT; fn returning
  /// false rolls back. Nested use from the same thread is allowed: an inner
  /// one that fails takes back only its own changes.
  bool Transaction(const std::function<bool()>& fn);
  /// Runs fn under the connection lock inside one deferred transaction, so
  /// that its statements see one state of the database and share the cost
  /// of beginning and ending a read; what they write is kept. For the checks
  /// that every data chunk runs.
  void ReadTogether(const std::function<void()>& fn);
  /// Settles the calling thread's scope (see Scope) before slow work that
  /// needs no database, so that other requests need not wait for it.
  void Settle();
  /// Counts the statements run that may have changed the database: a
  /// conclusion drawn from it holds while this stays the same.
  std::uint64_t Generation() const { return generation_.load(); }

  /// Gathers the statements one thread runs while it lives into a single
  /// write transaction, begun by the first of them (none at all when none
  /// runs) and committed when the scope ends or Settle() is called. Each
  /// statement alone would begin and end a transaction of its own, which is
  /// most of what a small request costs. The connection stays locked from
  /// the first statement on, so slow work that needs no database goes
  /// before it or after Settle().
  class Scope {
   public:
    explicit Scope(Database& db);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
    /// Commits what ran so far and lets the connection go; a later
    /// statement begins the next transaction.
    void Settle();

   private:
    friend class Database;
    Database& db_;
    Scope* const outer_;
    bool joined_ = false;  // holds the lock, and the transaction when one began
    bool began_ = false;
  };

 private:
  std::vector<Row> RunLocked(std::string_view sql, const std::vector<SqlValue>& args,
                             bool* ok, std::int64_t* lastId);
  /// Begins the calling thread's scope's transaction when it has none yet;
  /// the caller holds the lock.
  void JoinScope();
  bool Nested(const std::function<bool()>& fn);
  /// The compiled statement for sql, reset and unbound; nullptr on a bad text.
  sqlite3_stmt* Prepared(std::string_view sql);

  sqlite3* db_ = nullptr;
  /// Looks a text up without making a string of it first.
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  std::unordered_map<std::string, sqlite3_stmt*, TextHash, std::equal_to<>> statements_;
  std::recursive_mutex mutex_;
  std::atomic<std::uint64_t> generation_{0};
  int explicitDepth_ = 0;  // under the lock
};

}  // namespace korvexd
