//===- service/SharingAnswers.h - Answers about shares, links, codes -*- C++ -*-===//
///
/// Turns the service's answers to the sharing, contact, link, access-code,
/// transfer-report and window requests into results. As with the directory
/// listings, an element of a list that lacks a required field is skipped on
/// its own and never costs the user the rest of the list.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "service/JsonValue.h"
#include "service/RequestContext.h"
#include "store/ObjectInfo.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvex {

/// Owning forms of the two user listings until they are handed over.
using BuddyList = std::vector<std::unique_ptr<BuddyInfo>>;
using ShareList = std::vector<std::unique_ptr<BuddyInfoEx>>;

/// The contacts of "list"; elements lacking any of "userid", "name",
/// "domain", "jointime", "email", "msn" or "photo" (as strings) are skipped.
/// `pageSum` receives the integer "pagesum", 1 when absent.
[[nodiscard]] BuddyList ReadBuddyListing(const JsonObject& root, std::uint64_t& pageSum);

/// The users of a shared directory: elements need "id", "uid", "dirid",
/// "uname", "directoryname", "privilege", "domain", "isrevert" and
/// "sharetime" as strings. The share's rights fill both privilege fields.
[[nodiscard]] ShareList ReadShareListing(const JsonObject& root, std::uint64_t& pageSum);

/// The access codes of "list"; elements need "directoryid", "code",
/// "expiretime", "name", "logourl", "isexpired" and "dirname" as strings.
/// `isExpired` and `ownerId` stay empty: the listing's records leave them
/// unfilled.
[[nodiscard]] std::vector<ContainerCode> ReadAccessCodeListing(const JsonObject& root);

/// Whether the completion routine hands the answer of `type` to
/// CompleteSharingAnswer: contacts, share users, links, access codes, the
/// transfer report and the window requests.
[[nodiscard]] bool IsSharingAnswer(RequestType type) noexcept;

/// Completes the context's result from a transport-successful `body`.
/// May throw std::bad_alloc; the caller turns that into a status.
void CompleteSharingAnswer(RequestContext& context, const std::string& body);

}  // namespace korvex
