// ui_text.cpp: the interface texts in German, English and French.
// Texts are UTF-8 here; the window layer converts them for display.
#include "app/app.h"

namespace {

// Row l, column m holds message m in language l (0 German, 1 English, 2 French).
constexpr std::array<std::array<std::string_view, uiMessageCount>, uiLanguageCount> kTexts = {{
    {"Datei", "Neu", "Öffnen...", "Speichern", "Speichern unter...", "Einstellungen", "Beenden",
     "Hilfe", "Über", "Einfügen...", "Keine Textur vorhanden", "Vertex erstellen",
     "Vertex bewegen", "Vertex auswählen", "Vertex löschen", "Triangle erstellen", "Vergrößern",
     "Verkleinern", "Triangleauswahl hoch", "Triangleauswahl runter", "Triangle löschen",
     "Triangle umdrehen", "Texturkoordinaten setzen", "Textur wählen", "ASC einfügen",
     "automatische Texturekoordinatensetzung", "Triangleliste", "redimensionieren", "rotieren",
     "Bearbeiten", "Rückgängig", "Wiederherstellen", "Änderungen an %1 speichern?", "Speichern",
     "Verwerfen", "Abbrechen", "Unbenannt", "%1 existiert bereits. Ersetzen?", "Ersetzen", "Strg",
     "Umschalt", "Importieren...", "Exportieren..."},
    {"File", "New", "Open...", "Save", "Save as...", "Preferences", "Quit", "Help", "About",
     "Merge...", "No texture found", "create vertex", "move vertex", "select vertex",
     "delete vertex", "create triangle", "zoom in", "zoom out", "triangleselection up",
     "triangleselection down", "delete triangle", "flip triangle", "set texturecoords",
     "choose texture", "Merge ASC", "automatic texture coordinate setting", "Trianglelist",
     "scale", "rotate", "Edit", "Undo", "Redo", "Save changes to %1?", "Save", "Discard", "Cancel",
     "Untitled", "%1 already exists. Replace it?", "Replace", "Ctrl", "Shift",
     "Import...", "Export..."},
    {"Fichier", "Nouveau", "Ouvrir...", "Enregistrer", "Enregistrer sous...", "Références",
     "Quitter", "Aide", "A propos", "Fusionner...", "impossible de trouver la texture",
     "créer vertex", "déplacer vertex", "sélectionner vertex", "supprimer vertex",
     "créer triangle", "zoom avant", "zoom arrière", "triangleselection vers le haut",
     "triangleselection vers le bas", "effacer triangle", "basculer triangle",
     "placer les coordonnées de texture", "choisissez la texture", "Fusionner ASC",
     "établissement de coordonnée de texture automatique", "Liste de triangle",
     "redimensionner", "tourner", "Édition", "Annuler", "Rétablir",
     "Enregistrer les modifications de %1 ?", "Enregistrer", "Ne pas enregistrer", "Annuler",
     "Sans titre", "%1 existe déjà. Le remplacer ?", "Remplacer", "Ctrl", "Maj",
     "Importer...", "Exporter..."},
}};

// Per language: the text before and after the file name, for each FileProblem.
constexpr std::array<std::array<std::array<std::string_view, 2>, 2>, uiLanguageCount> kFileProblems = {{
    {{{"Die Datei ", " kann nicht gelesen werden"}, {"Nicht genug Speicher, um ", " zu lesen"}}},
    {{{"cannot read ", ""}, {"not enough memory to read ", ""}}},
    {{{"impossible de lire ", ""}, {"pas assez de mémoire pour lire ", ""}}},
}};

}  // namespace

void fillUiText(UiText& table)
{
    for (int32_t l = 0; l < uiLanguageCount; ++l)
        for (int32_t m = 0; m < uiMessageCount; ++m)
            table.entries[static_cast<size_t>(l * uiMessageCount + m)] =
                std::string(kTexts[static_cast<size_t>(l)][static_cast<size_t>(m)]);
}

std::string_view uiTextOf(const UiText& table, int32_t language, int32_t message)
{
    if (message < 0 || message >= uiMessageCount) return {};
    if (language < 0 || language >= uiLanguageCount) language = 0;
    return table.entries[static_cast<size_t>(language * uiMessageCount + message)];
}

std::string fileProblemText(int32_t language, FileProblem problem, std::string_view fileName)
{
    if (language < 0 || language >= uiLanguageCount) language = 0;
    const auto& parts = kFileProblems[static_cast<size_t>(language)][static_cast<size_t>(problem)];
    std::string text(parts[0]);
    text += fileName;
    text += parts[1];
    return text;
}
