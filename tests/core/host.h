// A test host: builds requests with the generated protobuf classes (on the
// fixtures of tests/support), calls the C exports and reads the responses
// back with the same schema.
#ifndef TARV_TESTS_CORE_HOST_H_
#define TARV_TESTS_CORE_HOST_H_

#include <google/protobuf/io/coded_stream.h>
#include <google/protobuf/io/zero_copy_stream_impl_lite.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "host/exports.h"
#include "include/tarv_core.h"
#include "tarv_core.pb.h"
#include "tests/core/bytes.h"
#include "tests/support/export_of.h"
#include "tests/support/fixtures.h"

namespace tarv::testing {

using ::tarv::testing::ExportOf;

// Map entries in key order, so that the same request gives the same bytes
// in every run (the conformance corpus records them).
inline ByteVec serialize(const ::google::protobuf::Message& m) {
  std::string s;
  {
    ::google::protobuf::io::StringOutputStream stream(&s);
    ::google::protobuf::io::CodedOutputStream coded(&stream);
    coded.SetSerializationDeterministic(true);
    m.SerializeToCodedStream(&coded);
  }
  return ByteVec(s.begin(), s.end());
}

// Serializes `request` and calls `fn` (by default the request's own export).
template <class Request>
Call call(const Request& request, ExportFn fn = ExportOf<Request>::kFn) {
  return call(fn, serialize(request));
}

// Parses a response into `out`; fails unless the bytes are one message of
// that type, with no fields outside its schema.
inline ::testing::AssertionResult parse(const ByteVec& bytes, ::google::protobuf::Message& out) {
  if (!out.ParseFromArray(bytes.data(), static_cast<int>(bytes.size()))) {
    return ::testing::AssertionFailure() << "not a " << out.GetTypeName();
  }
  if (!out.GetReflection()->GetUnknownFields(out).empty()) {
    return ::testing::AssertionFailure() << out.GetTypeName() << " with unknown fields";
  }
  return ::testing::AssertionSuccess();
}

// Status 0 and the typed success response of the request's export.
template <class Request, class Response = typename ExportOf<Request>::Response>
Response succeed(const Request& request, ExportFn fn = ExportOf<Request>::kFn) {
  Call c = call(request, fn);
  Response response;
  if (c.status == TARV_STATUS_OK) {
    EXPECT_TRUE(parse(c.response, response));
  } else {
    pb::ErrorResponse e;
    e.ParseFromArray(c.response.data(), static_cast<int>(c.response.size()));
    ADD_FAILURE() << "status " << int{c.status} << ": " << e.code() << c.stderr_text;
  }
  return response;
}

// Status 1 and an ErrorResponse that holds exactly `code` and a non-empty
// message: no document and no counters beside it.
inline ::testing::AssertionResult is_error(const Call& c, std::string_view code) {
  if (c.status != TARV_STATUS_ERROR) {
    return ::testing::AssertionFailure() << "status " << int{c.status} << ", expected " << code;
  }
  pb::ErrorResponse e;
  if (auto parsed = parse(c.response, e); !parsed) return parsed;
  if (e.code() != code) return ::testing::AssertionFailure() << e.code() << ", expected " << code;
  if (e.message().empty()) return ::testing::AssertionFailure() << "empty message";
  if (serialize(e) != c.response) {
    return ::testing::AssertionFailure() << "more than code and message";
  }
  return ::testing::AssertionSuccess();
}

template <class Request>
::testing::AssertionResult fails_with(const Request& request, std::string_view code,
                                      ExportFn fn = ExportOf<Request>::kFn) {
  return is_error(call(request, fn), code);
}

}  // namespace tarv::testing

#endif  // TARV_TESTS_CORE_HOST_H_
