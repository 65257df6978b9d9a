#include "skin/skin_style.h"

namespace skin {

const std::array<SkinStyle, kSkinCount> kSkins = {{
    {"black tolex", Material::kTolex, rgb(0x1d1d1f), rgb(0x000000), Material::kBrushedMetal,
     rgb(0xc8a449), rgb(0x17130b), rgb(0xd9d3c3), rgb(0xe4dcc8), rgb(0xfff4d2), rgb(0xa88a3c)},
    {"cream", Material::kTolex, rgb(0xe6d9b8), rgb(0x000000), Material::kBrushedMetal,
     rgb(0x262422), rgb(0xf1e6c8), rgb(0x4a3520), rgb(0x5b3d22), rgb(0x9b2d20), rgb(0x4e140c)},
    {"tweed", Material::kTweed, rgb(0xd8bc82), rgb(0x7a5630), Material::kBrushedMetal,
     rgb(0xd9d6cf), rgb(0x1e1a16), rgb(0x2e1d0e), rgb(0x3b2a19), rgb(0x8c2a1c), rgb(0x3c0f08)},
    {"brushed aluminium", Material::kBrushedMetal, rgb(0xbfc3c7), rgb(0x000000), Material::kPaint,
     rgb(0x2c2f34), rgb(0xe9ecef), rgb(0x1a1c1f), rgb(0x5f656c), rgb(0x3a4450), rgb(0x0d1116)},
    {"red", Material::kTolex, rgb(0x8f1a1a), rgb(0x000000), Material::kBrushedMetal, rgb(0x1f1f21),
     rgb(0xf3efe6), rgb(0xf3e9d8), rgb(0xf0e8d8), rgb(0xffffff), rgb(0xb8b8b8)},
    {"blue", Material::kTolex, rgb(0x1f3d7c), rgb(0x000000), Material::kBrushedMetal, rgb(0xc9ccd1),
     rgb(0x0f1c38), rgb(0xe4ebf7), rgb(0xd0d6de), rgb(0xffffff), rgb(0x9aa6b8)},
    {"green", Material::kTolex, rgb(0x235c3c), rgb(0x000000), Material::kPaint, rgb(0xe8dec4),
     rgb(0x173a26), rgb(0xeee3c6), rgb(0xe8dec4), rgb(0xfff6dc), rgb(0xb9a77a)},
    {"wood", Material::kWood, rgb(0x8a5a33), rgb(0x4a2a14), Material::kBrushedMetal, rgb(0x1c1a18),
     rgb(0xe0be6a), rgb(0xf4dca0), rgb(0xc9a049), rgb(0xffe9a8), rgb(0x9a7428)},
}};

}  // namespace skin
