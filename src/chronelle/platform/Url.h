#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace chronelle {

/// A URL reference split into its parts (scheme, authority, path, query, fragment). The
/// path is kept percent-encoded as written; `path()` and `lastPathComponent()` decode it.
/// Used for object URIs (`x-chronelle://<store>/<Entity>/p<pk>`) and file locations.
/// A value type.
class Url {
 public:
  /// Parses `text`. Nothing when it is empty, holds a character a URL cannot hold (space,
  /// control or non-ASCII characters, a '%' not followed by two hex digits) or has a port
  /// that is not a number. Text without a scheme is a relative reference.
  static std::optional<Url> parse(std::string_view text);
  /// The `file://` URL of `path`; a relative path is made absolute against the current
  /// directory. Characters outside the URL alphabet are percent-encoded.
  static Url fileUrl(const std::filesystem::path& path);

  /// As written ("https", "x-chronelle"); empty for a relative reference.
  const std::string& scheme() const { return scheme_; }
  /// The host without user info and port; absent when there is no authority or it names
  /// no host (`file:///tmp`, `x-chronelle:///Task/t1`).
  ///@{
  std::optional<std::string> host() const;
  std::optional<int> port() const { return port_; }
  ///@}
  /// The percent-decoded path ("/Task/p12"); empty when there is none.
  std::string path() const;
  /// The text after '?', without it; absent when there is none.
  std::optional<std::string> query() const { return query_; }
  /// The text after '#', without it; absent when there is none.
  std::optional<std::string> fragment() const { return fragment_; }
  /// The last segment of the decoded path, ignoring a trailing '/'; "/" for the root path
  /// and empty for an empty path.
  std::string lastPathComponent() const;
  /// This URL with `component` added to its path after a '/', percent-encoding characters
  /// that a path segment cannot hold ('/' is kept and so separates segments). Query and
  /// fragment are kept.
  Url appendingPathComponent(std::string_view component) const;
  /// The full text of the URL.
  std::string absoluteString() const;

  /// True for the "file" scheme (any case).
  bool isFileUrl() const;
  /// The filesystem path of a file URL; nothing for other schemes.
  std::optional<std::filesystem::path> filePath() const;

  /// Equal when the full texts are.
  friend bool operator==(const Url& a, const Url& b) {
    return a.absoluteString() == b.absoluteString();
  }

 private:
  std::string scheme_;
  bool hasAuthority_ = false;
  std::string userInfo_;  ///< without the '@'; empty when none
  std::string host_;      ///< as written, may be empty
  std::optional<int> port_;
  std::string path_;      ///< percent-encoded
  std::optional<std::string> query_;
  std::optional<std::string> fragment_;
};

}  // namespace chronelle
