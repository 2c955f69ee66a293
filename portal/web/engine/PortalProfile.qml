pragma Singleton
import QtWebEngine

// The one persistent web profile of the portal's pages: cookies and site data survive restarts
// and are shared by every portal view of the engine.
WebEngineProfile {
    storageName: "KestrynPortal"
    offTheRecord: false
    persistentCookiesPolicy: WebEngineProfile.ForcePersistentCookies
}
