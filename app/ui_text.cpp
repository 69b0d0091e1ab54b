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
     "Umschalt", "Importieren...", "Exportieren...", "Alles zeigen"},
    {"File", "New", "Open...", "Save", "Save as...", "Preferences", "Quit", "Help", "About",
     "Merge...", "No texture found", "create vertex", "move vertex", "select vertex",
     "delete vertex", "create triangle", "zoom in", "zoom out", "triangleselection up",
     "triangleselection down", "delete triangle", "flip triangle", "set texturecoords",
     "choose texture", "Merge ASC", "automatic texture coordinate setting", "Trianglelist",
     "scale", "rotate", "Edit", "Undo", "Redo", "Save changes to %1?", "Save", "Discard", "Cancel",
     "Untitled", "%1 already exists. Replace it?", "Replace", "Ctrl", "Shift",
     "Import...", "Export...", "Frame all"},
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
     "Importer...", "Exporter...", "Tout afficher"},
}};

// One added text in the three languages.
struct AddedText {
    Text id;
    std::array<std::string_view, uiLanguageCount> language;  // German, English, French
};

// Rows in any order; every Text has exactly one (checked below).
constexpr AddedText kAddedTexts[] = {
    // ---- files
    {Text::CannotRead, {"Die Datei %1 kann nicht gelesen werden", "cannot read %1", "impossible de lire %1"}},
    {Text::NoMemoryToRead,
     {"Nicht genug Speicher, um %1 zu lesen", "not enough memory to read %1", "pas assez de mémoire pour lire %1"}},
    {Text::WriteFailed,
     {"Die Datei konnte nicht geschrieben werden:\n%1\n%2", "The file could not be written:\n%1\n%2",
      "Impossible d'écrire le fichier :\n%1\n%2"}},
    // ---- recovery copies
    {Text::RecoveryQuestion,
     {"Polyquill wurde nicht normal beendet; ungespeicherte Änderungen an %1 vom %2 sind erhalten. Wiederherstellen?",
      "Polyquill did not end normally; unsaved changes to %1 from %2 were kept. Restore them?",
      "Polyquill ne s'est pas terminé normalement ; des modifications non enregistrées de %1 du %2 ont été "
      "conservées. Les restaurer ?"}},
    {Text::RecoveryRestore, {"Wiederherstellen", "Restore", "Restaurer"}},
    {Text::RecoveryDiscard, {"Verwerfen", "Discard", "Abandonner"}},
    {Text::RecoveryDamaged,
     {"Eine Wiederherstellungskopie ist beschädigt und kann nicht wiederhergestellt werden; sie wurde als %1 "
      "aufbewahrt",
      "A recovery copy is damaged and cannot be restored; it was kept as %1",
      "Une copie de récupération est endommagée et ne peut pas être restaurée ; elle a été conservée sous %1"}},
    // ---- import failures
    {Text::ImportCannotOpen,
     {"%1 kann nicht importiert werden: %2", "cannot import %1: %2", "impossible d'importer %1 : %2"}},
    {Text::ImportNotRegular,
     {"%1 kann nicht importiert werden: es ist keine gewöhnliche Datei", "cannot import %1: it is not a regular file",
      "impossible d'importer %1 : ce n'est pas un fichier ordinaire"}},
    {Text::ImportUnknownFormat,
     {"%1 kann nicht importiert werden: unbekanntes Format „%2“; der Import liest %3",
      "cannot import %1: unknown format \"%2\": import reads %3",
      "impossible d'importer %1 : format « %2 » inconnu ; l'import lit %3"}},
    {Text::ImportFactorZero,
     {"%1 kann nicht importiert werden: der Faktor darf nicht 0 sein", "cannot import %1: the factor must not be 0",
      "impossible d'importer %1 : le facteur ne doit pas être 0"}},
    {Text::ImportHelperNotStarted,
     {"%1 kann nicht importiert werden: das Importprogramm %2 konnte nicht gestartet werden: %3",
      "cannot import %1: the import helper %2 could not be started: %3",
      "impossible d'importer %1 : le programme d'import %2 n'a pas pu être lancé : %3"}},
    {Text::ImportCrashed,
     {"Das Importprogramm ist an %1 abgestürzt", "the importer crashed on %1",
      "le programme d'import a planté sur %1"}},
    {Text::ImportNeedsMemory,
     {"%1 braucht mehr Speicher als erlaubt", "%1 needs more memory than allowed",
      "%1 demande plus de mémoire que permis"}},
    {Text::ImportTookTooLong, {"%1 hat zu lange gedauert", "%1 took too long", "%1 a pris trop de temps"}},
    {Text::ImportNotValid,
     {"%1 ist keine gültige %2-Datei: %3", "%1 is not a valid %2 file: %3", "%1 n'est pas un fichier %2 valide : %3"}},
    {Text::ImportNotValidAtAll,
     {"%1 ist keine gültige %2-Datei", "%1 is not a valid %2 file", "%1 n'est pas un fichier %2 valide"}},
    {Text::ImportNoTriangles, {"%1 enthält keine Dreiecke", "%1 holds no triangles", "%1 ne contient aucun triangle"}},
    {Text::ReasonEmpty, {"sie ist leer", "it is empty", "il est vide"}},
    {Text::ReasonEndsEarly, {"sie endet zu früh", "it ends too early", "il se termine trop tôt"}},
    {Text::ReasonNotRecognised,
     {"ihr Inhalt hat nicht dieses Format", "its contents are not in that format",
      "son contenu n'est pas dans ce format"}},
    {Text::ReasonBadXml, {"ihr XML ist fehlerhaft", "its XML is malformed", "son XML est mal formé"}},
    {Text::ReasonLongChunk,
     {"ein Abschnitt gibt sich länger als die Datei", "a part claims to be longer than the file",
      "une partie se dit plus longue que le fichier"}},
    {Text::ReasonFaceVertex,
     {"eine Fläche nennt Vertex %1 von %2", "a face names vertex %1 of %2", "une face désigne le sommet %1 sur %2"}},
    {Text::ReasonFaceVertexMissing,
     {"eine Fläche nennt einen Vertex, den es nicht gibt", "a face names a vertex that is not there",
      "une face désigne un sommet qui n'existe pas"}},
    {Text::ReasonFaceWithoutCorners,
     {"eine Fläche hat keine Ecken", "a face has no corners", "une face n'a aucun coin"}},
    {Text::ReasonInconsistent,
     {"ihre Teile passen nicht zusammen", "its parts do not fit together", "ses parties ne concordent pas"}},
    {Text::ReasonBadNumber,
     {"eine Zahl ist nicht lesbar: „%1“", "a number cannot be read: \"%1\"", "un nombre est illisible : « %1 »"}},
    {Text::ReasonNumberMissing, {"eine Zahl fehlt", "a number is missing", "un nombre manque"}},
    {Text::ReasonMissingFile,
     {"die Datei „%1“, auf die sie verweist, lässt sich nicht öffnen",
      "the file \"%1\" it refers to cannot be opened",
      "le fichier « %1 » auquel il renvoie ne peut pas être ouvert"}},
    {Text::ReasonHeaderWithoutEnd,
     {"der Kopf hat keine Zeile end_header", "the header has no end_header line",
      "l'en-tête n'a pas de ligne end_header"}},
    {Text::ReasonHeaderPromisesMore,
     {"der Kopf verspricht mehr Daten, als die Datei enthält", "the header promises more data than the file holds",
      "l'en-tête annonce plus de données que le fichier n'en contient"}},
    // ---- the Mesh menu and its windows
    {Text::MeshMenu, {"Netz", "Mesh", "Maillage"}},
    {Text::SelectAll, {"Alles auswählen", "Select all", "Tout sélectionner"}},
    {Text::SelectNone, {"Nichts auswählen", "Select none", "Ne rien sélectionner"}},
    {Text::InvertSelection, {"Auswahl umkehren", "Invert selection", "Inverser la sélection"}},
    {Text::Duplicate, {"Duplizieren", "Duplicate", "Dupliquer"}},
    {Text::MirrorItem, {"Spiegeln...", "Mirror...", "Symétrie..."}},
    {Text::ExtrudeItem, {"Extrudieren...", "Extrude...", "Extruder..."}},
    {Text::WeldItem, {"Verschweißen...", "Weld...", "Souder..."}},
    {Text::InsertBox, {"Quader einfügen...", "Insert box...", "Insérer un pavé..."}},
    {Text::InsertPlane, {"Ebene einfügen...", "Insert plane...", "Insérer un plan..."}},
    {Text::InsertCylinder, {"Zylinder einfügen...", "Insert cylinder...", "Insérer un cylindre..."}},
    {Text::InsertCone, {"Kegel einfügen...", "Insert cone...", "Insérer un cône..."}},
    {Text::InsertSphere, {"Kugel einfügen...", "Insert sphere...", "Insérer une sphère..."}},
    {Text::Mirror, {"Spiegeln", "Mirror", "Symétrie"}},
    {Text::Extrude, {"Extrudieren", "Extrude", "Extruder"}},
    {Text::Weld, {"Verschweißen", "Weld", "Souder"}},
    {Text::AxisLabel, {"Achse:", "Axis:", "Axe :"}},
    {Text::PlaneLabel, {"Ebene bei:", "Plane at:", "Plan à :"}},
    {Text::ModeLabel, {"Ergebnis:", "Result:", "Résultat :"}},
    {Text::CopyMode, {"Kopie", "Copy", "Copie"}},
    {Text::InPlaceMode, {"An Ort und Stelle", "In place", "Sur place"}},
    {Text::DistanceLabel, {"Abstand:", "Distance:", "Distance :"}},
    {Text::SizeLabel, {"Größe:", "Size:", "Taille :"}},
    {Text::SegmentsLabel, {"Segmente:", "Segments:", "Segments :"}},
    {Text::NotFinite,
     {"„%1“ ist keine endliche Zahl.", "\"%1\" is not a finite number.", "« %1 » n'est pas un nombre fini."}},
    {Text::DistanceNotPositive,
     {"Der Abstand muss größer als 0 sein.", "The distance must be greater than 0.",
      "La distance doit être supérieure à 0."}},
    {Text::SizeNotPositive,
     {"Die Größe muss größer als 0 sein.", "The size must be greater than 0.", "La taille doit être supérieure à 0."}},
    {Text::SegmentsOutOfRange,
     {"Die Zahl der Segmente muss zwischen %1 und %2 liegen.", "The number of segments must be from %1 to %2.",
      "Le nombre de segments doit être compris entre %1 et %2."}},
    {Text::NothingToExtrude,
     {"Nichts zu extrudieren: Wählen Sie alle drei Ecken mindestens eines Dreiecks aus.",
      "Nothing to extrude: select all three corners of at least one triangle.",
      "Rien à extruder : sélectionnez les trois sommets d'au moins un triangle."}},
    // ---- modelling by hand
    {Text::SelectVerticesFirst,
     {"Zuerst einen oder mehrere Vertices auswählen (Vertex auswählen, Taste 3).",
      "Select one or more vertices first (select vertex, key 3).",
      "Sélectionnez d'abord un ou plusieurs vertex (sélectionner vertex, touche 3)."}},
    {Text::SelectTriangleFirst,
     {"Zuerst ein Triangle auswählen (Triangleauswahl hoch oder runter, Triangleliste).",
      "Select a triangle first (triangleselection up or down, Trianglelist).",
      "Sélectionnez d'abord un triangle (triangleselection vers le haut ou le bas, Liste de triangle)."}},
    {Text::SelectTrianglesToProject,
     {"Zuerst die Vertices der Triangles auswählen, die die Textur bekommen, oder ein Triangle.",
      "Select the vertices of the triangles to texture first, or one triangle.",
      "Sélectionnez d'abord les vertex des triangles à texturer, ou un triangle."}},
    {Text::DialogOk, {"Übernehmen", "OK", "Valider"}},
    {Text::PositionMenu, {"Position festlegen...", "Position...", "Positionner..."}},
    {Text::PositionTitle, {"Vertexposition", "Vertex Position", "Position du vertex"}},
    {Text::ProjectFront, {"Textur aus Front projizieren", "Project texture from Front", "Projeter la texture depuis Front"}},
    {Text::ProjectSide, {"Textur aus Side projizieren", "Project texture from Side", "Projeter la texture depuis Side"}},
    {Text::ProjectTop, {"Textur aus Top projizieren", "Project texture from Top", "Projeter la texture depuis Top"}},
    // ---- textures
    {Text::TextureGone,
     {"Die mit %2 gewählte Textur %1 ist nicht mehr vorhanden", "The texture %1 chosen with %2 is no longer there",
      "La texture %1 choisie avec %2 n'existe plus"}},
    {Text::TextureUnreadable,
     {"Die Textur %1 kann nicht gelesen werden", "cannot read the texture %1", "impossible de lire la texture %1"}},
};

constexpr size_t textCount = static_cast<size_t>(Text::count);

// The rows by Text, built once at compile time.
constexpr std::array<const AddedText*, textCount> addedTextIndex()
{
    std::array<const AddedText*, textCount> index{};
    for (const AddedText& row : kAddedTexts) index[static_cast<size_t>(row.id)] = &row;
    return index;
}

constexpr bool everyTextHasOneRow()
{
    std::array<int, textCount> rows{};
    for (const AddedText& row : kAddedTexts) ++rows[static_cast<size_t>(row.id)];
    for (int n : rows)
        if (n != 1) return false;
    return true;
}
static_assert(everyTextHasOneRow(), "each Text needs exactly one row in kAddedTexts");

constexpr std::array<const AddedText*, textCount> kTextIndex = addedTextIndex();

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

std::string textOf(int32_t language, Text text, std::initializer_list<std::string_view> arguments)
{
    if (language < 0 || language >= uiLanguageCount) language = 0;
    const std::string_view pattern = kTextIndex[static_cast<size_t>(text)]->language[static_cast<size_t>(language)];
    std::string result;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const size_t n = i + 1 < pattern.size() ? static_cast<size_t>(pattern[i + 1] - '1') : arguments.size();
        if (pattern[i] == '%' && n < arguments.size()) {
            result += arguments.begin()[n];
            ++i;
        } else {
            result += pattern[i];
        }
    }
    return result;
}

namespace {

// The words of a reason an import gives; nothing for Other and NoTriangles.
std::optional<Text> reasonText(ImportReason reason)
{
    switch (reason) {
    case ImportReason::Other:
    case ImportReason::NoTriangles: return std::nullopt;
    case ImportReason::Empty: return Text::ReasonEmpty;
    case ImportReason::EndsEarly: return Text::ReasonEndsEarly;
    case ImportReason::NotRecognised: return Text::ReasonNotRecognised;
    case ImportReason::BadXml: return Text::ReasonBadXml;
    case ImportReason::LongChunk: return Text::ReasonLongChunk;
    case ImportReason::FaceVertex: return Text::ReasonFaceVertex;
    case ImportReason::FaceVertexMissing: return Text::ReasonFaceVertexMissing;
    case ImportReason::FaceWithoutCorners: return Text::ReasonFaceWithoutCorners;
    case ImportReason::Inconsistent: return Text::ReasonInconsistent;
    case ImportReason::BadNumber: return Text::ReasonBadNumber;
    case ImportReason::NumberMissing: return Text::ReasonNumberMissing;
    case ImportReason::MissingFile: return Text::ReasonMissingFile;
    case ImportReason::HeaderWithoutEnd: return Text::ReasonHeaderWithoutEnd;
    case ImportReason::HeaderPromisesMore: return Text::ReasonHeaderPromisesMore;
    }
    return std::nullopt;
}

}  // namespace

std::string importProblemText(int32_t language, const std::string& path, const ImportProblem& problem)
{
    const auto value = [&problem](size_t i) -> std::string_view {
        return i < problem.values.size() ? std::string_view(problem.values[i]) : std::string_view();
    };
    switch (problem.failure) {
    case ImportFailure::CannotOpen: return textOf(language, Text::ImportCannotOpen, {path, value(0)});
    case ImportFailure::NotRegular: return textOf(language, Text::ImportNotRegular, {path});
    case ImportFailure::UnknownFormat: {
        std::string list;
        for (std::string_view e : importExtensions()) list.append(list.empty() ? "" : ", ").append(e);
        return textOf(language, Text::ImportUnknownFormat, {path, value(0), list});
    }
    case ImportFailure::FactorZero: return textOf(language, Text::ImportFactorZero, {path});
    case ImportFailure::HelperNotStarted:
        return textOf(language, Text::ImportHelperNotStarted, {path, value(0), value(1)});
    case ImportFailure::Crashed: return textOf(language, Text::ImportCrashed, {path});
    case ImportFailure::NeedsMemory: return textOf(language, Text::ImportNeedsMemory, {path});
    case ImportFailure::TookTooLong: return textOf(language, Text::ImportTookTooLong, {path});
    case ImportFailure::NotValid: break;
    }
    if (problem.reason == ImportReason::NoTriangles) return textOf(language, Text::ImportNoTriangles, {path});
    const std::string format = importFormatName(lowerExtension(path));
    const std::optional<Text> known = reasonText(problem.reason);
    // Other: the importer's own words, already without its internal names.
    const std::string reason = known ? textOf(language, *known, {value(0), value(1)}) : std::string(value(0));
    if (reason.empty()) return textOf(language, Text::ImportNotValidAtAll, {path, format});
    return textOf(language, Text::ImportNotValid, {path, format, reason});
}
