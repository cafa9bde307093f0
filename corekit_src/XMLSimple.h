#ifndef COREKIT_XMLSIMPLE_H
#define COREKIT_XMLSIMPLE_H

#include <map>
#include <string>

/// The typed configuration store read from the world's XML configuration file: four
/// independent tables (string, double, int, bool). An absent key reads as the type's default
/// (empty string, 0.0, 0, false) and is never reported; reading never modifies the store, so
/// a worker thread may read while the main thread does not write.
class XMLSimple {
 public:
  XMLSimple() = default;
  /// Empties the tables and loads the file; a missing or unparsable file, or a bad bool, is
  /// a fatal report.
  explicit XMLSimple(const std::string& path);

  /// Empties the four tables and loads `path` into them.
  void load(const std::string& path);

  bool getBool(const std::string& key) const;
  double getDouble(const std::string& key) const;
  float getFloat(const std::string& key) const;
  int getInt(const std::string& key) const;
  std::string getString(const std::string& key) const;

  void setBool(const std::string& key, bool value);
  void setDouble(const std::string& key, double value);
  void setInt(const std::string& key, int value);
  void setString(const std::string& key, const std::string& value);

 private:
  std::map<std::string, std::string> strings;
  std::map<std::string, double> doubles;
  std::map<std::string, int> ints;
  std::map<std::string, bool> bools;
};

#endif
