#include "shared/pkcs11/Pkcs11Template.h"

#include <gtest/gtest.h>

#include <cstring>

namespace keyvane {
namespace {

std::vector<CK_ATTRIBUTE> attributesOf(const Pkcs11Template& subject) {
    return subject.withAttributes(
        [](CK_ATTRIBUTE_PTR list, CK_ULONG count) { return std::vector<CK_ATTRIBUTE>(list, list + count); });
}

TEST(Pkcs11TemplateTest, EmptyTemplateGivesAnEmptyList) {
    Pkcs11Template empty;
    EXPECT_TRUE(attributesOf(empty).empty());
    EXPECT_TRUE(empty.pointers.empty());
}

TEST(Pkcs11TemplateTest, EachKindOfValueGetsItsOwnBuffer) {
    Pkcs11Template subject;
    subject.boolAttrs[Pkcs11BoolAttribute::token] = true;
    subject.ulongAttrs[Pkcs11CkUlongAttribute::touchMode] = 0x0102030405060708;
    subject.dataAttrs[Pkcs11DataAttribute::label] = Bytes{'a', 'b'};
    const auto list = attributesOf(subject);
    ASSERT_EQ(list.size(), 3U);

    // Booleans, then integers, then byte strings.
    EXPECT_EQ(list[0].type, CKA_TOKEN);
    EXPECT_EQ(list[0].ulValueLen, 1U);
    EXPECT_EQ(*static_cast<CK_BBOOL*>(list[0].pValue), CK_TRUE);
    EXPECT_EQ(list[1].type, 0x80003400UL);
    EXPECT_EQ(list[1].ulValueLen, 8U);
    CK_ULONG number = 0;
    std::memcpy(&number, list[1].pValue, sizeof number);
    EXPECT_EQ(number, 0x0102030405060708UL);
    EXPECT_EQ(list[2].type, CKA_LABEL);
    EXPECT_EQ(list[2].ulValueLen, 2U);
    EXPECT_EQ(std::memcmp(list[2].pValue, "ab", 2), 0);
    EXPECT_EQ(subject.pointers.size(), 3U);
}

TEST(Pkcs11TemplateTest, AbsentValueAsksForTheLengthButEmptyValueIsAValue) {
    Pkcs11Template lengthQuery;
    lengthQuery.dataAttrs[Pkcs11DataAttribute::value] = std::nullopt;
    const auto query = attributesOf(lengthQuery);
    ASSERT_EQ(query.size(), 1U);
    EXPECT_EQ(query[0].pValue, nullptr);
    EXPECT_EQ(query[0].ulValueLen, 0U);

    // A NULL pointer would turn an empty value into a length query.
    Pkcs11Template emptyValue;
    emptyValue.dataAttrs[Pkcs11DataAttribute::value] = Bytes{};
    const auto value = attributesOf(emptyValue);
    ASSERT_EQ(value.size(), 1U);
    EXPECT_NE(value[0].pValue, nullptr);
    EXPECT_EQ(value[0].ulValueLen, 0U);
}

TEST(Pkcs11TemplateTest, BuffersOutliveTheCallAndAreReleasedWithTheTemplate) {
    std::vector<std::shared_ptr<WrappedPointer<void>>> wrappers;
    {
        Pkcs11Template subject;
        subject.dataAttrs[Pkcs11DataAttribute::id] = Bytes{1, 2, 3};
        const auto first = attributesOf(subject);
        // Changing the map afterwards leaves the handed-out buffer as it was.
        subject.dataAttrs[Pkcs11DataAttribute::id] = Bytes{9, 9, 9};
        EXPECT_EQ(std::memcmp(first[0].pValue, "\x01\x02\x03", 3), 0);
        attributesOf(subject);
        wrappers = subject.pointers;
        ASSERT_EQ(wrappers.size(), 2U);
        EXPECT_FALSE(wrappers[0]->isDestroyed);
    }
    for (const auto& wrapper : wrappers) {
        EXPECT_TRUE(wrapper->isDestroyed);
    }
}

TEST(Pkcs11TemplateTest, EqualityComparesTheMapsNotTheBuffers) {
    Pkcs11Template used = privateKeyTemplate();
    attributesOf(used);
    EXPECT_EQ(used, privateKeyTemplate());
    Pkcs11Template other = privateKeyTemplate();
    other.dataAttrs[Pkcs11DataAttribute::id] = Bytes{1};
    EXPECT_FALSE(used == other);
}

TEST(Pkcs11TemplateTest, FixedTemplates) {
    const auto data = dataObjectTemplate();
    EXPECT_EQ(data.ulongAttrs.at(Pkcs11CkUlongAttribute::classObject), CKO_DATA);
    EXPECT_TRUE(data.boolAttrs.at(Pkcs11BoolAttribute::token));
    EXPECT_TRUE(data.boolAttrs.at(Pkcs11BoolAttribute::privateness));
    EXPECT_EQ(data.dataAttrs.at(Pkcs11DataAttribute::application), (Bytes{'K', 'e', 'y', 'v', 'a', 'n', 'e'}));

    const auto key = privateKeyTemplate();
    EXPECT_EQ(key.ulongAttrs.at(Pkcs11CkUlongAttribute::classObject), CKO_PRIVATE_KEY);
    EXPECT_EQ(key.boolAttrs.size(), 2U);
    EXPECT_TRUE(key.dataAttrs.empty());

    const auto feature = hwFeatureTemplate(0x80000007);
    EXPECT_EQ(feature.ulongAttrs.at(Pkcs11CkUlongAttribute::classObject), CKO_HW_FEATURE);
    EXPECT_EQ(feature.ulongAttrs.at(Pkcs11CkUlongAttribute::hwFeatureType), 0x80000007U);
}

} // namespace
} // namespace keyvane
