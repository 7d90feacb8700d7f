#include "document_workflow_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace velmar::test {
namespace {

using DocumentRecordTest = DocumentWorkflowFixture;

// One clip edited, then the field of its record in the saved JSON (none: absent).
TEST_F(DocumentRecordTest, ClipFieldsFollowTheRecordRules) {
    const QJsonObject dimmed{
        {"offsetX", 0}, {"offsetY", 0}, {"scale", 1}, {"rotation", 0}, {"opacity", 0.9999}};
    const struct {
        std::function<void(Clip&)> edit;
        const char* key;
        std::optional<QJsonValue> expected;
    } rows[] = {
        {[](Clip&) {}, "transform", std::nullopt},
        {[](Clip& c) { c.transform.opacity = 0.9999; }, "transform", dimmed},
        {[](Clip& c) { c.loopCount = 1; }, "loopCount", std::nullopt},
        {[](Clip& c) { c.loopCount = 0; }, "loopCount", QJsonValue(0)},
        {[](Clip&) {}, "pixelWidth", std::nullopt},
        {[](Clip& c) { c.pixelWidth = 640; }, "pixelWidth", QJsonValue(640)},
        {[](Clip& c) { c.contentAnchorY = -0.5; }, "contentAnchorY", QJsonValue(-0.5)},
        {[](Clip&) {}, "motion", std::nullopt},
        {[](Clip& c) { c.motion = MotionKind::zoom; }, "motion", QJsonValue("zoom")},
        {[](Clip&) {}, "path", QJsonValue("/media/A.png")},
    };
    for (const auto& row : rows) {
        Clip clip = still("A");
        row.edit(clip);
        rundown().loadGroups({ClipGroup{
            .name = "Tab", .clips = {clip}, .markers = {Marker{.position = 1, .name = "Break"}}}});
        const QJsonObject root =
            QJsonDocument::fromJson(*workflow->currentProject().encoded()).object();
        EXPECT_EQ(root["formatVersion"].toInt(), 10);
        EXPECT_FALSE(root.contains("dsk"));
        const QJsonObject tab = root["groups"].toArray()[0].toObject();
        EXPECT_TRUE(tab["markers"].isArray());
        const QJsonObject record = tab["clips"].toArray()[0].toObject();
        EXPECT_EQ(record.value(row.key), row.expected.value_or(QJsonValue::Undefined)) << row.key;
        // The comparison form: the same record without selection, pixel sizes and anchors.
        QJsonObject form = record, formTab = tab, expected = root;
        for (const char* key : {"pixelWidth", "pixelHeight", "contentAnchorX", "contentAnchorY"})
            form.remove(key);
        formTab["clips"] = QJsonArray{form};
        formTab["selectedIndex"] = 0;
        expected["groups"] = QJsonArray{formTab};
        EXPECT_EQ(QJsonDocument::fromJson(*workflow->projectSnapshot()).object(), expected);
    }
}

TEST_F(DocumentRecordTest, SelectionAndMeasurementsLeaveTheProjectCleanEditsDoNot) {
    EXPECT_EQ(workflow->projectDisplayName(), "Untitled");
    host.url = url("/shows/Show 3.v2.tavrendek");
    EXPECT_EQ(workflow->projectDisplayName(), "Show 3.v2");

    loadTab(stills(3));
    host.saved = workflow->projectSnapshot();
    rundown().setSelectedIndex(2);
    const Clip first = rundown().currentGroup()->clips[0];
    rundown().applyMetadata({{first.id, QSizeF(640, 480)}}, {{first.id, QPointF(0.25, -0.5)}},
                            {{first.id, first.url}});
    ASSERT_EQ(rundown().currentGroup()->clips[0].pixelWidth, 640);
    EXPECT_FALSE(workflow->hasUnsavedProjectChanges());
    rundown().nudge({first.id}, 1);
    EXPECT_TRUE(workflow->hasUnsavedProjectChanges());
    host.saved.reset();
    rundown().nudge({first.id}, -1);
    EXPECT_TRUE(workflow->hasUnsavedProjectChanges());  // no saved form: always unsaved
}

}  // namespace
}  // namespace velmar::test
