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

const CharSet& characters()
{
    static const CharSet installed = installedCharacters();
    return installed;
}

bool drawable(char32_t code)
{
    return FcCharSetHasChar(characters().get(), code) != FcFalse;
}

} // namespace

notation::Drawable installedFontsDraw()
{
    characters();
    return drawable;
}

} // namespace kestran::window
