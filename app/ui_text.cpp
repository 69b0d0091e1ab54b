// ui_text.cpp: the interface texts in German, English and French, and the
// reasons of failed writes in them. Texts are UTF-8 here; the window layer
// converts them for display.
#include <cerrno>
#include <utility>

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
    {Text::ImportFactorZero,
     {"der Faktor darf nicht 0 sein", "the factor must not be 0", "le facteur ne doit pas être 0"}},
    {Text::ImportNotValid,
     {"%1 ist keine gültige %2-Datei: %3", "%1 is not a valid %2 file: %3", "%1 n'est pas un fichier %2 valide : %3"}},
    {Text::ImportNotValidAtAll,
     {"%1 ist keine gültige %2-Datei", "%1 is not a valid %2 file", "%1 n'est pas un fichier %2 valide"}},
    {Text::ImportNoTriangles, {"%1 enthält keine Dreiecke", "%1 holds no triangles", "%1 ne contient aucun triangle"}},
    {Text::ImportReasonEmpty, {"sie ist leer", "it is empty", "il est vide"}},
    {Text::ImportReasonEndsEarly, {"sie endet zu früh", "it ends too early", "il se termine trop tôt"}},
    {Text::ImportReasonNotRecognised,
     {"ihr Inhalt hat nicht dieses Format", "its contents are not in that format",
      "son contenu n'est pas dans ce format"}},
    {Text::ImportReasonBadXml, {"ihr XML ist fehlerhaft", "its XML is malformed", "son XML est mal formé"}},
    {Text::ImportReasonLongChunk,
     {"ein Abschnitt gibt sich länger als die Datei", "a part claims to be longer than the file",
      "une partie se dit plus longue que le fichier"}},
    {Text::ImportReasonFaceVertex,
     {"eine Fläche nennt Vertex %1 von %2", "a face names vertex %1 of %2", "une face désigne le sommet %1 sur %2"}},
    {Text::ImportReasonFaceVertexMissing,
     {"eine Fläche nennt einen Vertex, den es nicht gibt", "a face names a vertex that is not there",
      "une face désigne un sommet qui n'existe pas"}},
    {Text::ImportReasonFaceWithoutCorners,
     {"eine Fläche hat keine Ecken", "a face has no corners", "une face n'a aucun coin"}},
    {Text::ImportReasonInconsistent,
     {"ihre Teile passen nicht zusammen", "its parts do not fit together", "ses parties ne concordent pas"}},
    {Text::ImportReasonBadNumber,
     {"eine Zahl ist nicht lesbar: „%1“", "a number cannot be read: \"%1\"", "un nombre est illisible : « %1 »"}},
    {Text::ImportReasonNumberMissing, {"eine Zahl fehlt", "a number is missing", "un nombre manque"}},
    {Text::ImportReasonMissingFile,
     {"die Datei „%1“, auf die sie verweist, lässt sich nicht öffnen",
      "the file \"%1\" it refers to cannot be opened",
      "le fichier « %1 » auquel il renvoie ne peut pas être ouvert"}},
    {Text::ImportReasonHeaderWithoutEnd,
     {"der Kopf hat keine Zeile end_header", "the header has no end_header line",
      "l'en-tête n'a pas de ligne end_header"}},
    {Text::ImportReasonHeaderPromisesMore,
     {"der Kopf verspricht mehr Daten, als die Datei enthält", "the header promises more data than the file holds",
      "l'en-tête annonce plus de données que le fichier n'en contient"}},
    {Text::VerticesInNoTriangle,
     {"%1 Vertices gehören zu keinem Triangle und werden nicht gespeichert",
      "%1 vertices are in no triangle and will not be saved",
      "%1 vertex n'appartiennent à aucun triangle et ne seront pas enregistrés"}},
    {Text::OneVertexInNoTriangle,
     {"1 Vertex gehört zu keinem Triangle und wird nicht gespeichert",
      "1 vertex is in no triangle and will not be saved",
      "1 vertex n'appartient à aucun triangle et ne sera pas enregistré"}},
    // ---- why a file was not written; the English is strerror's
    {Text::ReasonNoSpace,
     {"Auf dem Datenträger ist kein Platz mehr frei", "No space left on device", "Plus de place libre sur le disque"}},
    {Text::ReasonFileTooLarge,
     {"Die Datei wäre größer als erlaubt", "File too large", "Le fichier dépasserait la taille permise"}},
    {Text::ReasonPermissionDenied,
     {"Keine Berechtigung zum Schreiben", "Permission denied", "Permission d'écrire refusée"}},
    {Text::ReasonNotPermitted,
     {"Dieser Vorgang ist nicht erlaubt", "Operation not permitted", "Cette opération n'est pas permise"}},
    {Text::ReasonReadOnly,
     {"Der Datenträger ist schreibgeschützt", "Read-only file system", "Le disque est protégé en écriture"}},
    {Text::ReasonNoSuchFile,
     {"Der Ordner existiert nicht", "No such file or directory", "Le dossier n'existe pas"}},
    {Text::ReasonNotAFolder,
     {"Ein Teil des Pfades ist kein Ordner", "Not a directory", "Une partie du chemin n'est pas un dossier"}},
    {Text::ReasonIsAFolder, {"Der Name gehört zu einem Ordner", "Is a directory", "Ce nom est celui d'un dossier"}},
    {Text::ReasonQuota,
     {"Ihr Speicherkontingent ist erschöpft", "Disk quota exceeded", "Votre quota de disque est épuisé"}},
    {Text::ReasonInputOutput,
     {"Der Datenträger meldet einen Lese- oder Schreibfehler", "Input/output error",
      "Le disque signale une erreur de lecture ou d'écriture"}},
    {Text::ReasonNameTooLong, {"Der Dateiname ist zu lang", "File name too long", "Le nom de fichier est trop long"}},
    {Text::ReasonLinkLoop,
     {"Zu viele symbolische Verknüpfungen hintereinander", "Too many levels of symbolic links",
      "Trop de liens symboliques à la suite"}},
    {Text::ReasonBrokenPipe,
     {"Das lesende Programm hat die Verbindung beendet", "Broken pipe", "Le programme lecteur a coupé la liaison"}},
    {Text::ReasonNoMemory, {"Nicht genug Arbeitsspeicher", "Cannot allocate memory", "Pas assez de mémoire"}},
    {Text::ReasonTooManyOpenFiles,
     {"Zu viele Dateien sind geöffnet", "Too many open files", "Trop de fichiers sont ouverts"}},
    {Text::ReasonNoFifoReader,
     {"Kein Programm liest aus der FIFO", "no program reads the FIFO", "Aucun programme ne lit la FIFO"}},
    {Text::ReasonFileChanged,
     {"Die Datei hat sich beim Öffnen verändert", "the file changed while it was opened",
      "Le fichier a changé pendant son ouverture"}},
    {Text::ReasonBlockDevice,
     {"Auf ein Blockgerät wird nie geschrieben", "a block device is never written",
      "Un périphérique bloc n'est jamais écrit"}},
    {Text::ReasonSpecialFile,
     {"Nur Dateien, FIFOs und zeichenorientierte Geräte werden beschrieben",
      "only files, FIFOs and character devices are written",
      "Seuls les fichiers, FIFO et périphériques caractère sont écrits"}},
    // ---- why an export wrote nothing
    {Text::ExportUnknownFormat,
     {"Unbekanntes Format \"%1\": exportiert wird %2", "unknown format \"%1\": export writes %2",
      "Format inconnu « %1 » : l'exportation écrit %2"}},
    {Text::ExportNoTriangles,
     {"Das Mesh hat keine Triangles zum Exportieren", "the mesh has no triangles to export",
      "Le maillage n'a aucun triangle à exporter"}},
    {Text::ExportNotANumber,
     {"Triangle %1 hat eine Eckkoordinate, die keine Zahl ist; dieses Format kann sie nicht aufnehmen",
      "triangle %1 has a corner coordinate that is not a number, which this format cannot hold",
      "Le triangle %1 a une coordonnée de coin qui n'est pas un nombre, ce que ce format ne peut pas contenir"}},
    {Text::ExporterFailed,
     {"Der Exporter ist gescheitert: %1", "the exporter failed: %1", "L'exportateur a échoué : %1"}},
    {Text::ExportNoFileMade,
     {"Der Exporter hat keine Datei geschrieben", "the exporter wrote no file",
      "L'exportateur n'a écrit aucun fichier"}},
    {Text::ExportCannotWriteFile,
     {"%1 kann nicht geschrieben werden: %2", "cannot write %1: %2", "impossible d'écrire %1 : %2"}},
    {Text::ExportHelperNotStarted,
     {"Das Exportprogramm %1 konnte nicht gestartet werden: %2", "the export helper %1 could not be started: %2",
      "Le programme d'exportation %1 n'a pas pu être lancé : %2"}},
    {Text::ExportCrashed, {"Der Exporter ist abgestürzt", "the exporter crashed", "L'exportateur a planté"}},
    {Text::ExportHelperFailed,
     {"Das Exportprogramm ist gescheitert", "the export helper failed", "Le programme d'exportation a échoué"}},
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
    // ---- prompts and boxes of the file and texture commands
    {Text::UvMinimumMessage,
     {"Kleinste UV-Koordinate eingeben", "Give me the minimum of UV-coords", "Entrez le minimum des coordonnées UV"}},
    {Text::UvMaximumMessage,
     {"Größte UV-Koordinate eingeben", "Give me the maximum of UV-coords", "Entrez le maximum des coordonnées UV"}},
    {Text::ImportFactorTitle, {"Größe", "Size", "Taille"}},
    {Text::ImportFactorMessage,
     {"Verkleinerungsfaktor (teilt die Positionen)", "Reduction factor (divides the positions)",
      "Facteur de réduction (divise les positions)"}},
    {Text::SaveTitle, {"Speichern", "Save", "Enregistrer"}},
    {Text::ImportTitle, {"Importieren", "Import", "Importer"}},
    {Text::ExportTitle, {"Exportieren", "Export", "Exporter"}},
    {Text::ImportCrashed,
     {"Das Importprogramm ist an %1 abgestürzt", "the importer crashed on %1", "l'importateur a planté sur %1"}},
    {Text::ImportTookTooLong, {"%1 braucht zu lange", "%1 took too long", "%1 prend trop de temps"}},
    {Text::ImportNeedsMemory,
     {"%1 braucht mehr Speicher als erlaubt", "%1 needs more memory than allowed",
      "%1 demande plus de mémoire que permis"}},
    {Text::CannotImport,
     {"%1 kann nicht importiert werden: %2", "cannot import %1: %2", "impossible d'importer %1 : %2"}},
    {Text::NotARegularFile,
     {"es ist keine gewöhnliche Datei", "it is not a regular file", "ce n'est pas un fichier ordinaire"}},
    {Text::UnknownFormat,
     {"unbekanntes Format \"%1\": gelesen werden %2", "unknown format \"%1\": import reads %2",
      "format inconnu « %1 » : l'import lit %2"}},
    {Text::HelperNotStarted,
     {"das Hilfsprogramm %1 konnte nicht gestartet werden: %2", "the helper %1 could not be started: %2",
      "le programme auxiliaire %1 n'a pas pu démarrer : %2"}},
    {Text::AboutCredit,
     {"Polyquill-Mesh-Editor von den Polyquill-Entwicklern", "Polyquill mesh editor by the Polyquill developers",
      "Éditeur de maillages Polyquill, par les développeurs de Polyquill"}},
    // ---- main window: Preferences, Edit menu, status line
    {Text::Close, {"Schließen", "Close", "Fermer"}},
    {Text::KeepProportions, {"Proportionen beibehalten", "Keep proportions", "Conserver les proportions"}},
    {Text::StatusCounts,
     {"%1 Vertices (%2 gewählt), %3 Triangles (%4 gewählt)", "%1 vertices (%2 selected), %3 triangles (%4 selected)",
      "%1 vertex (%2 sél.), %3 triangles (%4 sél.)"}},
    // ---- the 3D view and long work
    {Text::ShowBackFaces, {"Rückseiten zeigen", "Show back faces", "Afficher les faces arrière"}},
    {Text::ReadingTitle, {"Lesen", "Reading", "Lecture"}},
    {Text::ReadingFile, {"%1 wird gelesen...", "Reading %1...", "Lecture de %1..."}},
    {Text::ImportCancelled, {"abgebrochen", "cancelled", "annulé"}},
    // ---- textures
    {Text::TextureGone,
     {"Die mit %2 gewählte Textur %1 ist nicht mehr vorhanden", "The texture %1 chosen with %2 is no longer there",
      "La texture %1 choisie avec %2 n'existe plus"}},
    {Text::TextureUnreadable,
     {"Die Textur %1 kann nicht gelesen werden", "cannot read the texture %1", "impossible de lire la texture %1"}},
};

// The usual reasons a write fails, and their texts.
constexpr std::pair<int32_t, Text> kWriteReasons[] = {
    {ENOSPC, Text::ReasonNoSpace},
    {EFBIG, Text::ReasonFileTooLarge},
    {EACCES, Text::ReasonPermissionDenied},
    {EPERM, Text::ReasonNotPermitted},
    {EROFS, Text::ReasonReadOnly},
    {ENOENT, Text::ReasonNoSuchFile},
    {ENOTDIR, Text::ReasonNotAFolder},
    {EISDIR, Text::ReasonIsAFolder},
    {EDQUOT, Text::ReasonQuota},
    {EIO, Text::ReasonInputOutput},
    {ENAMETOOLONG, Text::ReasonNameTooLong},
    {ELOOP, Text::ReasonLinkLoop},
    {EPIPE, Text::ReasonBrokenPipe},
    {ENOMEM, Text::ReasonNoMemory},
    {EMFILE, Text::ReasonTooManyOpenFiles},
    {ENFILE, Text::ReasonTooManyOpenFiles},
    {writeNoFifoReader, Text::ReasonNoFifoReader},
    {writeFileChanged, Text::ReasonFileChanged},
    {writeBlockDevice, Text::ReasonBlockDevice},
    {writeSpecialFile, Text::ReasonSpecialFile},
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
    case ImportReason::Empty: return Text::ImportReasonEmpty;
    case ImportReason::EndsEarly: return Text::ImportReasonEndsEarly;
    case ImportReason::NotRecognised: return Text::ImportReasonNotRecognised;
    case ImportReason::BadXml: return Text::ImportReasonBadXml;
    case ImportReason::LongChunk: return Text::ImportReasonLongChunk;
    case ImportReason::FaceVertex: return Text::ImportReasonFaceVertex;
    case ImportReason::FaceVertexMissing: return Text::ImportReasonFaceVertexMissing;
    case ImportReason::FaceWithoutCorners: return Text::ImportReasonFaceWithoutCorners;
    case ImportReason::Inconsistent: return Text::ImportReasonInconsistent;
    case ImportReason::BadNumber: return Text::ImportReasonBadNumber;
    case ImportReason::NumberMissing: return Text::ImportReasonNumberMissing;
    case ImportReason::MissingFile: return Text::ImportReasonMissingFile;
    case ImportReason::HeaderWithoutEnd: return Text::ImportReasonHeaderWithoutEnd;
    case ImportReason::HeaderPromisesMore: return Text::ImportReasonHeaderPromisesMore;
    }
    return std::nullopt;
}

}  // namespace

std::string importProblemText(int32_t language, const std::string& path, const ImportProblem& problem)
{
    const auto value = [&problem](size_t i) -> std::string_view {
        return i < problem.values.size() ? std::string_view(problem.values[i]) : std::string_view();
    };
    const auto cannot = [&](std::string_view reason) { return textOf(language, Text::CannotImport, {path, reason}); };
    switch (problem.failure) {
    case ImportFailure::CannotOpen: return cannot(value(0));
    case ImportFailure::NotRegular: return cannot(textOf(language, Text::NotARegularFile));
    case ImportFailure::UnknownFormat:
        return cannot(textOf(language, Text::UnknownFormat, {value(0), extensionList(importExtensions())}));
    case ImportFailure::FactorZero: return cannot(textOf(language, Text::ImportFactorZero));
    case ImportFailure::HelperNotStarted:
        return cannot(textOf(language, Text::HelperNotStarted, {value(0), value(1)}));
    case ImportFailure::Crashed: return textOf(language, Text::ImportCrashed, {path});
    case ImportFailure::NeedsMemory: return textOf(language, Text::ImportNeedsMemory, {path});
    case ImportFailure::TookTooLong: return textOf(language, Text::ImportTookTooLong, {path});
    case ImportFailure::Cancelled: return cannot(textOf(language, Text::ImportCancelled));
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

std::string writeReasonInLanguage(int32_t language, int32_t reason)
{
    for (const auto& [error, text] : kWriteReasons)
        if (error == reason) return textOf(language, text);
    return writeReasonText(reason);
}

std::string exportProblemInLanguage(int32_t language, const ExportProblem& problem)
{
    const std::string reason = writeReasonInLanguage(language, problem.reason);
    switch (problem.what) {
    case ExportFailure::None: return {};
    case ExportFailure::UnknownFormat:
        return textOf(language, Text::ExportUnknownFormat, {problem.detail, extensionList(exportExtensions())});
    case ExportFailure::NoTriangles: return textOf(language, Text::ExportNoTriangles);
    case ExportFailure::NotANumber: return textOf(language, Text::ExportNotANumber, {problem.detail});
    case ExportFailure::ExporterFailed: return textOf(language, Text::ExporterFailed, {problem.detail});
    case ExportFailure::NoFileMade: return textOf(language, Text::ExportNoFileMade);
    case ExportFailure::CannotWrite:
        if (problem.detail.empty()) return reason;
        return textOf(language, Text::ExportCannotWriteFile, {problem.detail, reason});
    case ExportFailure::HelperNotStarted:
        return textOf(language, Text::ExportHelperNotStarted, {problem.detail, reason});
    case ExportFailure::HelperCrashed: return textOf(language, Text::ExportCrashed);
    case ExportFailure::HelperFailed: break;
    }
    return textOf(language, Text::ExportHelperFailed);
}
