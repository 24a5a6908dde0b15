import QtQuick
import Keyvane.Views
import Keyvane.Style

// Six dots and a title. Keystrokes go to a hidden field that hands each one to the view model
// and empties itself, so the typed password never stays in a text of the scene. The field is a
// stop of the Tab chain and a click on it takes the keyboard, so the keys always find their
// way back to it; a ring round the dots shows when it has them.
FocusScope {
    id: field
    required property MasterPassInputModel input
    implicitWidth: Math.max(dots.implicitWidth + 32, 256)
    // Room above the dots for the ring.
    implicitHeight: dots.y + dots.height + 24 + title.height
    activeFocusOnTab: true
    Accessible.role: Accessible.EditableText
    Accessible.passwordEdit: true
    Accessible.name: title.text

    TapHandler {
        onTapped: field.forceActiveFocus(Qt.MouseFocusReason)
    }
    FocusRing {
        objectName: "masterPassFocusRing"
        anchors.fill: undefined
        anchors.centerIn: dots
        width: dots.width + 28
        height: dots.height + 20
        radius: height / 2
        shown: keystrokes.activeFocus
    }
    Row {
        id: dots
        objectName: "masterPassDots"
        anchors.horizontalCenter: parent.horizontalCenter
        y: 10
        spacing: Spacing.m
        transform: Translate { id: shift }
        Repeater {
            model: field.input.passLen
            Rectangle {
                required property int index
                readonly property bool filled: index < field.input.filledCount
                width: 12
                height: 12
                radius: 6
                color: field.input.isError ? Theme.red : (filled ? Theme.blue : Theme.tertiaryLabel)
                Behavior on color { ColorAnimation { duration: 160 } }
                onFilledChanged: popIn.restart()
                NumberAnimation on scale { id: popIn; running: false; from: 0.3; to: 1; duration: 200; easing.type: Easing.OutBack }
            }
        }
    }
    PlainLabel {
        id: title
        objectName: "masterPassTitle"
        anchors.top: dots.bottom
        anchors.topMargin: Spacing.xl
        width: parent.width
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
        maximumLineCount: 2
        // Two lines are always kept, so the dots do not move when the title grows.
        height: fontMetrics.lineSpacing * 2
        text: field.input.title
        font.bold: true
        FontMetrics { id: fontMetrics; font: title.font }
    }
    TextInput {
        id: keystrokes
        objectName: "masterPassKeys"
        width: 1
        height: 1
        opacity: 0
        focus: true
        echoMode: TextInput.Password
        inputMethodHints: Qt.ImhDigitsOnly | Qt.ImhSensitiveData
        onTextChanged: {
            if (text !== "") {
                field.input.type(text);
                text = "";
            }
        }
        Keys.onPressed: event => {
            if (event.key === Qt.Key_Backspace) {
                field.input.erase();
                event.accepted = true;
            }
        }
    }
    Connections {
        target: field.input
        function onShake() { shake.restart(); }
    }
    SequentialAnimation {
        id: shake
        NumberAnimation { target: shift; property: "x"; to: -16; duration: 40; easing.type: Easing.InQuad }
        NumberAnimation { target: shift; property: "x"; to: 16; duration: 80; easing.type: Easing.InOutQuad }
        NumberAnimation { target: shift; property: "x"; to: -16; duration: 80; easing.type: Easing.InOutQuad }
        NumberAnimation { target: shift; property: "x"; to: 0; duration: 40; easing.type: Easing.OutQuad }
    }
}
