// SPDX-License-Identifier: MIT
#include "window/fontcoverage.h"

#include <fontconfig/fontconfig.h>

#include <memory>

namespace kestran::window {

namespace {

struct CharSetDeleter {
    void operator()(FcCharSet* set) const { FcCharSetDestroy(set); }
};
using CharSet = std::unique_ptr<FcCharSet, CharSetDeleter>;

CharSet installedCharacters()
{
    CharSet all(FcCharSetCreate());
    FcPattern* any = FcPatternCreate();
    FcObjectSet* wanted = FcObjectSetBuild(FC_CHARSET, nullptr);
    FcFontSet* fonts = FcFontList(nullptr, any, wanted);
    for (int i = 0; fonts && i < fonts->nfont; ++i) {
        FcCharSet* characters = nullptr;
        if (FcPatternGetCharSet(fonts->fonts[i], FC_CHARSET, 0, &characters) == FcResultMatch)
            FcCharSetMerge(all.get(), characters, nullptr);
    }
    if (fonts)
        FcFontSetDestroy(fonts);
    FcObjectSetDestroy(wanted);
    FcPatternDestroy(any);
    return all;
}

} // namespace

const notation::Drawable& installedFontsDraw()
{
    static const CharSet characters = installedCharacters();
    static const notation::Drawable drawable = [](char32_t code) {
        return FcCharSetHasChar(characters.get(), code) != FcFalse;
    };
    return drawable;
}

} // namespace kestran::window
