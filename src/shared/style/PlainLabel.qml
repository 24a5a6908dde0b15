import QtQuick
import QtQuick.Controls.Basic
import Keyvane.Style

// The one text item of every view of both programs. What it shows is laid out as plain text,
// never as markup: user names and relying parties come from sites, models, labels and serials
// from tokens, error descriptions from libraries, and a text laid out as rich text draws what
// it says (another line, another colour) and fetches the images it names. The structure
// check (tests/structure/check-plain-text) keeps every view on it. It is body text in the
// label colour unless the view names another size or colour.
Label {
    textFormat: Text.PlainText
    font.family: TypeScale.family
    font.pixelSize: TypeScale.body
    color: Theme.primaryText
}
