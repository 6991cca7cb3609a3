//===- net/SecretServiceCredentialStore.cpp - Credentials in the keyring --===//

#include "net/SecretServiceCredentialStore.h"

#ifdef KORVEX_HAVE_LIBSECRET

#include <libsecret/secret.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "foundation/LogMgr.h"

namespace korvex {
namespace {

constexpr const char* kCategory = "CredentialStore";
constexpr const char* kApplication = "KorvexDataSMB";

const SecretSchema* Schema() {
  static const SecretSchema schema = {
      "org.korvexdata.Credential",
      SECRET_SCHEMA_NONE,
      {
          {"application", SECRET_SCHEMA_ATTRIBUTE_STRING},
          {"target", SECRET_SCHEMA_ATTRIBUTE_STRING},
          {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
          {"comment", SECRET_SCHEMA_ATTRIBUTE_STRING},
          {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
      },
      0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
  return &schema;
}

struct GErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};
struct GHashTableUnref {
  void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
struct GListFree {
  void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
using ErrorPtr = std::unique_ptr<GError, GErrorFree>;
using TablePtr = std::unique_ptr<GHashTable, GHashTableUnref>;
using ListPtr = std::unique_ptr<GList, GListFree>;

/// Attribute table; the strings are copied, so temporaries may be passed.
TablePtr Attributes(std::initializer_list<std::pair<const char*, std::string_view>> values) {
  TablePtr table(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
  for (const auto& [name, value] : values) {
    g_hash_table_insert(table.get(), g_strdup(name),
                        g_strndup(value.data(), static_cast<gsize>(value.size())));
  }
  return table;
}

std::string Attribute(GHashTable* table, const char* name) {
  const auto* value = static_cast<const char*>(g_hash_table_lookup(table, name));
  return value != nullptr ? value : "";
}

HRESULT Report(const char* what, GError* raw) {
  ErrorPtr error(raw);
  LogMgr::Get().Warn(kCategory, "%s failed: %s", what, error ? error->message : "unknown error");
  return E_FAIL;
}

/// The items of this application matching `target` (all when empty).
HRESULT Search(std::string_view target, ListPtr& items) {
  TablePtr query = target.empty() ? Attributes({{"application", kApplication}})
                                  : Attributes({{"application", kApplication}, {"target", target}});
  GError* error = nullptr;
  items.reset(
      secret_password_searchv_sync(Schema(), query.get(), SECRET_SEARCH_ALL, nullptr, &error));
  if (error != nullptr) return Report("Searching the keyring", error);
  return S_OK;
}

/// A bus to talk to, without letting GLib autolaunch one.
bool SessionBusConfigured() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address != nullptr && *address != '\0') return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::error_code ec;
  return runtime != nullptr && std::filesystem::exists(std::filesystem::path(runtime) / "bus", ec);
}

}  // namespace

std::unique_ptr<SecretServiceCredentialStore> SecretServiceCredentialStore::Create() {
  if (!SessionBusConfigured()) return nullptr;
  GError* error = nullptr;
  SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
  if (service == nullptr) {
    ErrorPtr owned(error);
    return nullptr;
  }
  SecretCollection* collection = secret_collection_for_alias_sync(
      service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
  ErrorPtr owned(error);
  const bool usable = collection != nullptr && !secret_collection_get_locked(collection);
  if (collection != nullptr) g_object_unref(collection);
  g_object_unref(service);
  if (!usable) return nullptr;
  return std::unique_ptr<SecretServiceCredentialStore>(new SecretServiceCredentialStore);
}

HRESULT SecretServiceCredentialStore::Write(const Credential& credential) {
  if (credential.secret.find('\0') != std::string::npos) return E_INVALIDARG;
  // Attributes hold user and comment too, so an item with other values
  // would survive a plain store next to the new one.
  if (const HRESULT status = Delete(credential.targetName);
      Failed(status) && status != HR_FILE_NOT_FOUND) {
    return status;
  }
  TablePtr attributes = Attributes({{"application", kApplication},
                                    {"target", credential.targetName},
                                    {"user", credential.userName},
                                    {"comment", credential.comment}});
  GError* error = nullptr;
  const gboolean stored = secret_password_storev_sync(
      Schema(), attributes.get(), SECRET_COLLECTION_DEFAULT, credential.targetName.c_str(),
      credential.secret.c_str(), nullptr, &error);
  if (!stored || error != nullptr) return Report("Storing in the keyring", error);
  return S_OK;
}

HRESULT SecretServiceCredentialStore::Read(std::string_view targetName, Credential& out) {
  ListPtr items;
  if (const HRESULT status = Search(targetName, items); Failed(status)) return status;
  if (!items) return HR_FILE_NOT_FOUND;
  auto* item = static_cast<SecretRetrievable*>(items->data);
  GError* error = nullptr;
  SecretValue* value = secret_retrievable_retrieve_secret_sync(item, nullptr, &error);
  ErrorPtr owned(error);
  if (value == nullptr) {
    LogMgr::Get().Warn(kCategory, "The keyring gave no secret for %.*s",
                       static_cast<int>(targetName.size()), targetName.data());
    return HR_DECRYPT_FAILED;
  }
  gsize length = 0;
  const gchar* bytes = secret_value_get(value, &length);
  std::string secret(bytes, length);
  secret_value_unref(value);
  TablePtr attributes(secret_retrievable_get_attributes(item));
  out = Credential{std::string(targetName), Attribute(attributes.get(), "user"),
                   Attribute(attributes.get(), "comment"), std::move(secret)};
  return S_OK;
}

HRESULT SecretServiceCredentialStore::Enumerate(std::string_view targetPrefix,
                                                std::vector<Credential>& out) {
  ListPtr items;
  if (const HRESULT status = Search({}, items); Failed(status)) return status;
  std::vector<Credential> found;
  for (GList* it = items.get(); it != nullptr; it = it->next) {
    TablePtr attributes(secret_retrievable_get_attributes(static_cast<SecretRetrievable*>(it->data)));
    std::string target = Attribute(attributes.get(), "target");
    if (!target.starts_with(targetPrefix)) continue;
    found.push_back(Credential{std::move(target), Attribute(attributes.get(), "user"),
                               Attribute(attributes.get(), "comment"), {}});
  }
  std::sort(found.begin(), found.end(),
            [](const Credential& a, const Credential& b) { return a.targetName < b.targetName; });
  out = std::move(found);
  return S_OK;
}

HRESULT SecretServiceCredentialStore::Delete(std::string_view targetName) {
  TablePtr query = Attributes({{"application", kApplication}, {"target", targetName}});
  GError* error = nullptr;
  const gboolean removed = secret_password_clearv_sync(Schema(), query.get(), nullptr, &error);
  if (error != nullptr) return Report("Deleting from the keyring", error);
  return removed ? S_OK : HR_FILE_NOT_FOUND;
}

}  // namespace korvex

#else  // !KORVEX_HAVE_LIBSECRET

namespace korvex {

std::unique_ptr<SecretServiceCredentialStore> SecretServiceCredentialStore::Create() {
  return nullptr;
}
HRESULT SecretServiceCredentialStore::Write(const Credential&) { return E_NOTIMPL; }
HRESULT SecretServiceCredentialStore::Read(std::string_view, Credential&) { return E_NOTIMPL; }
HRESULT SecretServiceCredentialStore::Enumerate(std::string_view, std::vector<Credential>&) {
  return E_NOTIMPL;
}
HRESULT SecretServiceCredentialStore::Delete(std::string_view) { return E_NOTIMPL; }

}  // namespace korvex

#endif
