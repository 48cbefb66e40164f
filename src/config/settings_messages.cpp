#include "config/settings_messages.h"

#include "config/settings_file.h"

namespace velomat {

namespace {

// "Die Einstellungsdatei "settings.vlm"", and where it leads when it is a symbolic link.
std::string theFile(const std::string& linkTarget) {
  std::string text = std::string("Die Einstellungsdatei \"") + kSettingsFileName + "\"";
  if (!linkTarget.empty()) text += " (ein Verweis auf \"" + linkTarget + "\")";
  return text;
}

std::string whatItIs(FileKind kind) {
  switch (kind) {
    case FileKind::Directory:
      return "ist ein Verzeichnis";
    case FileKind::Fifo:
      return "ist keine gewöhnliche Datei, sondern eine benannte Pipe (FIFO)";
    case FileKind::Device:
      return "ist keine gewöhnliche Datei, sondern ein Gerät";
    case FileKind::Socket:
      return "ist keine gewöhnliche Datei, sondern ein Socket";
    case FileKind::Regular:
    case FileKind::Other:
      break;
  }
  return "ist keine gewöhnliche Datei";
}

}  // namespace

std::string notAFileAtStartText(const ReadResult& file) {
  return theFile(file.linkTarget) + " " + whatItIs(file.kind) +
         ".\nVelomat liest sie nicht und beginnt mit den Grundeinstellungen. Beim Beenden von Velomat "
         "werden die Einstellungen nicht gespeichert.";
}

std::string unreadableAtStartText(const ReadResult& file) {
  return theFile(file.linkTarget) + " konnte nicht gelesen werden (" + file.error + ").\n" +
         (file.writable ? "Alle Einstellungen werden zurückgesetzt und die Datei wird beim Beenden von "
                          "Velomat überschrieben."
                        : "Alle Einstellungen werden zurückgesetzt. Die Datei kann beim Beenden von Velomat "
                          "nicht überschrieben werden.");
}

std::string saveFailedText(const WriteResult& result) {
  if (result.notAFile) {
    return theFile(result.linkTarget) + " " + whatItIs(*result.notAFile) +
           ".\nDie Einstellungen wurden nicht gespeichert.";
  }
  if (!result.oldFileKept) {
    return theFile({}) + " konnte nicht vollständig geschrieben werden (" + result.error +
           ").\nDie Einstellungen wurden nicht gespeichert, und die Datei ist möglicherweise beschädigt.";
  }
  return theFile({}) + " konnte nicht geschrieben werden (" + result.error +
         ").\nDie bisherige Datei ist unverändert.";
}

}  // namespace velomat
