import QtQuick
import QtQuick.Controls.impl

// A one-colour picture drawn in a colour of the theme: the file's own colour is replaced, so
// one drawing serves both appearances and any background (the selection's accent included).
// The recolouring is done on the picture itself, without a shader effect.
IconImage {
    fillMode: Image.PreserveAspectFit
}
