// The state record starts as the program expects before start-up.
#include <gtest/gtest.h>

#include "app/app.h"

TEST(AppState, StartsEmptyWithTheCreateVertexTool)
{
    const AppState s;
    EXPECT_EQ(s.toolMode, CreateVertex);
    EXPECT_TRUE(s.mesh.vertices.empty());
    EXPECT_EQ(s.mesh.pendingCorner, 0);
    EXPECT_EQ(s.textureName.name(), 0u);
    EXPECT_EQ(s.prefs.language, 0);
    EXPECT_EQ(s.camera.zoom, 0.0f);
    EXPECT_TRUE(s.currentFileName.empty());
}
