// Messages in deterministic Protocol Buffers bytes: the same message always
// encodes to the same bytes (maps in key order), so the register compares a
// key's request and its state by their bytes, and the journal's check sends
// the stored bytes again.
#ifndef TARV_HOST_ENCODE_H_
#define TARV_HOST_ENCODE_H_

#include <google/protobuf/io/coded_stream.h>
#include <google/protobuf/io/zero_copy_stream_impl_lite.h>
#include <google/protobuf/message_lite.h>

#include <string>

namespace tarv::host {

inline std::string encode(const google::protobuf::MessageLite& m) {
  std::string bytes;
  {
    google::protobuf::io::StringOutputStream stream(&bytes);
    google::protobuf::io::CodedOutputStream out(&stream);
    out.SetSerializationDeterministic(true);
    m.SerializeToCodedStream(&out);
  }
  return bytes;
}

}  // namespace tarv::host

#endif  // TARV_HOST_ENCODE_H_
