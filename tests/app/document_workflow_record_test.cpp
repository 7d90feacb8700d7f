#include "document_workflow_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>

namespace velmar::test {
namespace {

using DocumentRecordTest = DocumentWorkflowFixture;

// One clip edited, then the field of its record in the saved JSON (none: absent).
TEST_F(DocumentRecordTest, ClipFieldsFollowTheRecordRules) {
    struct Row {
        const char* name;
        std::function<void(Clip&)> edit;
        const char* key;
        std::optional<QJsonValue> expected;
    };
    QJsonObject identity{
        {"offsetX", 0}, {"offsetY", 0}, {"scale", 1}, {"rotation", 0}, {"opacity", 0.9999}};
    const Row rows[] = {
        {"identity transform left out", [](Clip&) {}, "transform", std::nullopt},
        {"opacity just below 1 kept", [](Clip& c) { c.transform.opacity = 0.9999; }, "transform",
         identity},
        {"negative zero offset is the identity", [](Clip& c) { c.transform.offsetX = -0.0; },
         "transform", std::nullopt},
        {"loop count 1 left out", [](Clip& c) { c.loopCount = 1; }, "loopCount", std::nullopt},
        {"endless loop kept as 0", [](Clip& c) { c.loopCount = 0; }, "loopCount", QJsonValue(0)},
        {"unknown pixel width left out", [](Clip&) {}, "pixelWidth", std::nullopt},
        {"known pixel width kept", [](Clip& c) { c.pixelWidth = 640; }, "pixelWidth",
         QJsonValue(640)},
        {"anchor kept", [](Clip& c) { c.contentAnchorY = -0.5; }, "contentAnchorY",
         QJsonValue(-0.5)},
        {"default motion left out", [](Clip&) {}, "motion", std::nullopt},
        {"own motion kept", [](Clip& c) { c.motion = MotionKind::zoom; }, "motion",
         QJsonValue("zoom")},
        {"path is the file path", [](Clip&) {}, "path", QJsonValue("/media/A.png")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Clip clip = still("A");
        row.edit(clip);
        ClipGroup group;
        group.name = "Tab";
        group.clips = {clip};
        rundown().loadGroups({group});
        const PlayoutProject project = workflow->currentProject();
        const QJsonObject root = QJsonDocument::fromJson(*project.encoded()).object();
        EXPECT_EQ(root["formatVersion"].toInt(), 10);
        const QJsonObject tab = root["groups"].toArray()[0].toObject();
        EXPECT_TRUE(tab["markers"].isArray());  // present, also when empty
        EXPECT_FALSE(root.contains("dsk"));     // no keyer files
        const QJsonObject record = tab["clips"].toArray()[0].toObject();
        if (row.expected) {
            EXPECT_EQ(record.value(row.key), *row.expected);
        } else {
            EXPECT_FALSE(record.contains(row.key));
        }
    }
}

TEST_F(DocumentRecordTest, SelectionAndMeasurementsLeaveTheProjectCleanEditsDoNot) {
    loadTab(stills(3));
    host.saved = workflow->projectSnapshot();
    EXPECT_FALSE(workflow->hasUnsavedProjectChanges());

    rundown().setSelectedIndex(2);
    const QUuid first = rundown().currentGroup()->clips[0].id;
    rundown().applyMetadata({{first, QSizeF(640, 480)}}, {{first, QPointF(0.25, -0.5)}},
                            {{first, rundown().currentGroup()->clips[0].url}});
    ASSERT_EQ(rundown().currentGroup()->clips[0].pixelWidth, 640);
    EXPECT_FALSE(workflow->hasUnsavedProjectChanges());

    rundown().nudge({first}, 1);
    EXPECT_TRUE(workflow->hasUnsavedProjectChanges());
    host.saved = workflow->projectSnapshot();
    engine->setFadeDuration(1.5);
    EXPECT_TRUE(workflow->hasUnsavedProjectChanges());
    host.saved.reset();
    engine->setFadeDuration(0.5);
    EXPECT_TRUE(workflow->hasUnsavedProjectChanges());  // no saved form: always unsaved
}

TEST_F(DocumentRecordTest, DisplayNameDropsOnlyTheLastExtension) {
    EXPECT_EQ(workflow->projectDisplayName(), "Untitled");
    host.url = url("/shows/Show 3.v2.tavrendek");
    EXPECT_EQ(workflow->projectDisplayName(), "Show 3.v2");
}

}  // namespace
}  // namespace velmar::test
