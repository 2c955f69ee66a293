import QtQuick
import Kestryn.Center
import QtQuick.Controls.Basic
import QtQuick.Dialogs
import QtQuick.Layouts
import Kestryn.Style

// The model's questions as dialogs: each question waiting in the prompts opens its dialog, and
// the dialog answers it exactly once.
Item {
    id: dialogs

    property WindowPrompts prompts

    anchors.fill: parent

    function present() {
        switch (prompts.kind) {
        case "open":
            openDialog.currentFolder = prompts.openFolder
            openDialog.open()
            break
        case "save":
            saveDialog.currentFolder = prompts.saveFolder
            saveDialog.selectedFile = prompts.saveFolder + "/" + prompts.proposedName
            saveDialog.open()
            break
        case "choose":
            chooser.list.currentIndex = prompts.preselected
            chooser.open()
            break
        case "ask":
            alert.open()
            break
        }
    }

    Connections {
        target: dialogs.prompts
        function onQuestionChanged() { dialogs.present() }
    }
    Component.onCompleted: present()

    FileDialog {
        id: openDialog
        objectName: "openDialog"
        title: dialogs.prompts.title
        fileMode: FileDialog.OpenFile
        nameFilters: dialogs.prompts.nameFilters
        onAccepted: dialogs.prompts.answerFile(selectedFile)
        onRejected: dialogs.prompts.cancel()
    }

    FileDialog {
        id: saveDialog
        objectName: "saveDialog"
        title: "导出版本清单"
        fileMode: FileDialog.SaveFile
        nameFilters: dialogs.prompts.nameFilters
        onAccepted: dialogs.prompts.answerFile(selectedFile)
        onRejected: dialogs.prompts.cancel()
    }

    // A question with a message, details and buttons, with or without a list to choose from.
    component QuestionDialog: Dialog {
        id: question

        property WindowPrompts prompts
        property bool withChoices: false
        property alias list: entries
        signal pressed(int index)

        modal: true
        closePolicy: Popup.NoAutoClose
        anchors.centerIn: parent
        width: 420
        padding: 22
        background: Rectangle {
            radius: 12
            color: CenterAppearance.panel
            border.width: 1
            border.color: CenterAppearance.line
        }
        contentItem: ColumnLayout {
            spacing: 10
            Text {
                text: question.prompts.message
                font.pixelSize: 14
                font.weight: Font.Medium
                color: CenterAppearance.ink
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }
            Text {
                visible: text !== ""
                text: question.prompts.details
                font.pixelSize: 12
                color: CenterAppearance.muted
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }
            ComboBox {
                id: entries
                objectName: question.objectName + "List"
                visible: question.withChoices
                model: question.prompts.choices
                font.pixelSize: 12
                Layout.preferredWidth: 290
                Layout.preferredHeight: 28
            }
            Row {
                spacing: 10
                layoutDirection: Qt.RightToLeft
                Layout.fillWidth: true
                Layout.topMargin: 8
                Repeater {
                    model: question.prompts.buttons
                    delegate: Loader {
                        id: slot
                        required property int index
                        required property string modelData
                        sourceComponent: index === 0 ? firstButton : otherButton
                        Component {
                            id: firstButton
                            CenterPrimaryButton {
                                objectName: question.objectName + "Button-" + slot.index
                                text: slot.modelData
                                onClicked: question.pressed(slot.index)
                            }
                        }
                        Component {
                            id: otherButton
                            CenterSecondaryButton {
                                objectName: question.objectName + "Button-" + slot.index
                                text: slot.modelData
                                onClicked: question.pressed(slot.index)
                            }
                        }
                    }
                }
            }
        }
    }

    QuestionDialog {
        id: chooser
        objectName: "chooser"
        prompts: dialogs.prompts
        withChoices: true
        onPressed: (index) => {
            close()
            dialogs.prompts.answerChoice(index === 0 ? list.currentIndex : -1)
        }
    }

    QuestionDialog {
        id: alert
        objectName: "alert"
        prompts: dialogs.prompts
        onPressed: (index) => {
            close()
            dialogs.prompts.answerButton(index)
        }
    }
}
