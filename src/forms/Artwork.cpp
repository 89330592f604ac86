#include "forms/Artwork.h"

// Resources of a static library are registered by hand before first use.
static void registerArtwork() { Q_INIT_RESOURCE(artwork); }

namespace pontrel::forms {

namespace {

void ensureRegistered() {
    static const bool registered = [] {
        registerArtwork();
        return true;
    }();
    (void)registered;
}

}  // namespace

QPixmap iconPicture(int size) {
    ensureRegistered();
    return QPixmap(size <= 16 ? ":/pontrel/pontrel-16.xpm" : ":/pontrel/pontrel-32.xpm");
}

QIcon applicationIcon() {
    QIcon icon;
    icon.addPixmap(iconPicture(32));
    icon.addPixmap(iconPicture(16));
    return icon;
}

QPixmap splashLogo() {
    ensureRegistered();
    return QPixmap(":/pontrel/splash-logo.xpm");
}

}  // namespace pontrel::forms
