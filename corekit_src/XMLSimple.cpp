#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "XMLSimple.h"
#include "Assert.h"

namespace {

template <typename Table>
typename Table::mapped_type lookup(const Table& table, const std::string& key) {
  const auto found = table.find(key);
  return found == table.end() ? typename Table::mapped_type() : found->second;
}

bool parseBool(const char* content) {
  if (std::strcmp(content, "true") == 0) return true;
  if (std::strcmp(content, "false") == 0) return false;
  const int value = std::atoi(content);
  assert(value == 0 || value == 1, "Erroneous bool value in xml");
  return value == 1;
}

}  // namespace

XMLSimple::XMLSimple(const std::string& path) { load(path); }

void XMLSimple::load(const std::string& path) {
  strings.clear();
  doubles.clear();
  ints.clear();
  bools.clear();

  FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) assert(false, "XMLSimple::XMLSimple : file missing");
  std::fclose(file);

  // Owned, so that a fatal report in the middle (a bad bool) leaves nothing behind when the
  // report does not end the process (the fuzzing harness).
  const std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc(xmlParseFile(path.c_str()), xmlFreeDoc);
  assert(doc != NULL, "XMLSimple::XMLSimple : could not parse xml file");

  xmlNodePtr root = xmlDocGetRootElement(doc.get());
  for (xmlNodePtr group = root != nullptr ? root->children : nullptr; group != nullptr;
       group = group->next) {
    if (group->type != XML_ELEMENT_NODE) continue;
    const bool isString = xmlStrcmp(group->name, BAD_CAST "string") == 0;
    const bool isDouble = xmlStrcmp(group->name, BAD_CAST "double") == 0;
    const bool isInt = xmlStrcmp(group->name, BAD_CAST "int") == 0;
    const bool isBool = xmlStrcmp(group->name, BAD_CAST "bool") == 0;
    if (!isString && !isDouble && !isInt && !isBool) continue;

    // Every child node is an entry, text nodes included: the indentation between elements is
    // stored under the key "text".
    for (xmlNodePtr entry = group->children; entry != nullptr; entry = entry->next) {
      const std::unique_ptr<xmlChar, void (*)(void*)> rawContent(xmlNodeGetContent(entry), xmlFree);
      const char* content =
          rawContent != nullptr ? reinterpret_cast<const char*>(rawContent.get()) : "";
      const std::string key = entry->name != nullptr ? reinterpret_cast<const char*>(entry->name) : "";
      if (isString)
        strings[key] = content;
      else if (isDouble)
        doubles[key] = std::atof(content);
      else if (isInt)
        ints[key] = std::atoi(content);
      else
        bools[key] = parseBool(content);
    }
  }
}

bool XMLSimple::getBool(const std::string& key) const { return lookup(bools, key); }
double XMLSimple::getDouble(const std::string& key) const { return lookup(doubles, key); }
float XMLSimple::getFloat(const std::string& key) const { return static_cast<float>(getDouble(key)); }
int XMLSimple::getInt(const std::string& key) const { return lookup(ints, key); }
std::string XMLSimple::getString(const std::string& key) const { return lookup(strings, key); }

void XMLSimple::setBool(const std::string& key, bool value) { bools[key] = value; }
void XMLSimple::setDouble(const std::string& key, double value) { doubles[key] = value; }
void XMLSimple::setInt(const std::string& key, int value) { ints[key] = value; }
void XMLSimple::setString(const std::string& key, const std::string& value) { strings[key] = value; }
