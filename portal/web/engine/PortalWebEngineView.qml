import QtQuick
import QtWebEngine
import Kestryn.Portal
import Kestryn.Style

// The web engine's view of one portal page. CenterPortalView loads it by its address, so the
// engine's libraries are loaded with the first page that shows. Every event goes to the page's
// controller, which decides.
WebEngineView {
    id: webView

    required property PortalWebView controller

    profile: PortalProfile
    backgroundColor: CenterAppearance.background
    settings.javascriptCanOpenWindows: false
    settings.errorPageEnabled: false
    onNavigationRequested: (request) => controller.navigationRequested(request)
    onNewWindowRequested: (request) => controller.newWindowRequested(request)
    onLoadingChanged: (info) => {
        if (info.status === WebEngineView.LoadStartedStatus)
            loadTimer.restart()
        controller.loadingChanged(info.url, info.status, info.errorDomain, info.errorCode)
    }
    onRenderProcessTerminated: controller.renderProcessTerminated()
    onJavaScriptDialogRequested: (request) => controller.javaScriptDialogRequested(request)

    Connections {
        target: webView.controller
        function onLoadRequested(url) { webView.url = url }
        function onStopRequested() { webView.stop() }
    }

    // Every navigation of the page gets 35 seconds; the coordinator ignores the time-out of a load
    // that has ended.
    Timer {
        id: loadTimer
        interval: 35000
        onTriggered: webView.controller.loadTimedOut()
    }
}
