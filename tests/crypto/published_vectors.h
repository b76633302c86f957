// Published test examples of STB 34.101.31 (belt) and STB 34.101.45 (bign,
// bign-curve256v1, l = 128, belt-hash). Hex is the bytes exactly as passed to or
// returned from the functions; the messages are slices of the table H.
#ifndef TARV_TESTS_CRYPTO_PUBLISHED_VECTORS_H_
#define TARV_TESTS_CRYPTO_PUBLISHED_VECTORS_H_

#include <array>
#include <string_view>

namespace tarv::crypto::test_vectors {

// Table A.1: beltH(0..15) encrypted under the key beltH(128..159).
inline constexpr std::string_view kBlockIn = "b194bac80a08f53b366d008e584a5de4";
inline constexpr std::string_view kBlockKey =
    "e9dee72c8f0c0fa62ddb49f46f73964706075316ed247a3739cba38303a98bf6";
inline constexpr std::string_view kBlockOut = "69cca1c93557c9e3d66bc3e0fa88fa6e";

// Table A.8: σ1 and σ2 of u = beltH(0..63).
inline constexpr std::string_view kSigmaIn =
    "b194bac80a08f53b366d008e584a5de48504fa9d1bb6c7ac252e72c202fdce0d"
    "5be3d61217b96181fe6786ad716b890b5cb0c0ff33c356b835c405aed8e07f99";
inline constexpr std::string_view kSigma1 = "46fe7425c9b181eb41dfee3e72163d5a";
inline constexpr std::string_view kSigma2 =
    "ed2f5481d593f40d87fce37d6bc1a2e1b7d1a2cc975c82d3c0497488c90d99d8";

struct HashExample {
  std::string_view name, message, hash;
};
// Table A.23: belt-hash of beltH(0..12), beltH(0..31) and beltH(0..47).
inline constexpr std::array<HashExample, 3> kHashes = {{
    {"table A.23-1", "b194bac80a08f53b366d008e58",
     "abef9725d4c5a83597a367d14494cc2542f20f659ddfecc961a3ec550cba8c75"},
    {"table A.23-2", "b194bac80a08f53b366d008e584a5de48504fa9d1bb6c7ac252e72c202fdce0d",
     "749e4c3653aece5e48db4761227742eb6dbe13f4a80f7beff1a9cf8d10ee7786"},
    {"table A.23-3",
     "b194bac80a08f53b366d008e584a5de48504fa9d1bb6c7ac252e72c202fdce0d5be3d61217b96181fe6786ad716b8"
     "90b",
     "9d02ee446fb6a29fe5c982d4b13af9d3e90861bc4cef27cf306bfb0b174a154a"},
}};

// Table Г.1: the private key d and its public key, little-endian.
inline constexpr std::string_view kPrivateKey =
    "1f66b5b84b7339674533f0329c74f21834281fed0732429e0c79235fc273e269";
inline constexpr std::string_view kPublicKey =
    "bd1a5650179d79e03fcee49d4c2bd5ddf54ce46d0cf11e4ff87bf7a890857fd0"
    "7ac6a60361e8c8173491686d461b2826190c2eda5909054a9ab84d2ab9d99a90";

struct SignatureExample {
  std::string_view name, message, hash, signature, k;
};
// Tables Г.2 and Г.3: signatures under Г.1 with the one-time keys k that made them.
inline constexpr std::array<SignatureExample, 2> kSignatures = {{
    {"Г.2", "b194bac80a08f53b366d008e58",
     "abef9725d4c5a83597a367d14494cc2542f20f659ddfecc961a3ec550cba8c75",
     "e36b7f0377ae4c524027c387fadf1b20ce72f1530b71f2b5"
     "fd3a8c584fe2e1aed20082e30c8af65011f4fb54649dfd3d",
     "4c0e74b2cd5811ad21f23de7e0fa742c3ed6ec483c461ce15c33a77aa308b7d2"},
    {"Г.3",
     "b194bac80a08f53b366d008e584a5de48504fa9d1bb6c7ac252e72c202fdce0d5be3d61217b96181fe6786ad716b8"
     "90b",
     "9d02ee446fb6a29fe5c982d4b13af9d3e90861bc4cef27cf306bfb0b174a154a",
     "47a63c8b9c936e94b5fab3d9cbd78366290f3210e163eec8"
     "db4e921e8479d4138f112cc23e6dce65ec5ff21df4231c28",
     "0a4e8298be0839e46f19409f637f4415572251dd0d39284f0f0390d93bbce9ec"},
}};

}  // namespace tarv::crypto::test_vectors

#endif  // TARV_TESTS_CRYPTO_PUBLISHED_VECTORS_H_
