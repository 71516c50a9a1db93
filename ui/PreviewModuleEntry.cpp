// The preview window's module: what the program resolves when the preview first opens (PreviewModule).
#include "Preview.h"
#include "PreviewModule.h"

#include <type_traits>

extern "C" Q_DECL_EXPORT const char *zabo_preview_module_version()
{
    return ZABO_VERSION;
}

extern "C" Q_DECL_EXPORT PreviewWindow *zabo_create_preview_window(const QString &formatterPath,
                                                                   JobPrompts &prompts, QWidget *parent)
{
    return new TPreviewForm(formatterPath, prompts, parent);
}

static_assert(std::is_same_v<decltype(&zabo_preview_module_version), PreviewModuleVersion *>);
static_assert(std::is_same_v<decltype(&zabo_create_preview_window), PreviewModuleCreate *>);
