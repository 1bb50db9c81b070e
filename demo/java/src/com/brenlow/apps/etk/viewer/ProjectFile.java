package com.brenlow.apps.etk.viewer;

import java.io.File;
import java.util.LinkedHashMap;
import java.util.Map;
import javax.xml.XMLConstants;
import javax.xml.parsers.DocumentBuilder;
import javax.xml.parsers.DocumentBuilderFactory;
import org.w3c.dom.Document;
import org.w3c.dom.Element;
import org.w3c.dom.Node;

/**
 * The little the demo reads from the catalogue project file: the program name in its languages
 * and the chosen viewer language. A missing or unreadable file leaves both empty.
 */
final class ProjectFile {
    private final Map<String, String> progNames = new LinkedHashMap<>();
    private String viewerLanguage = "";
    private String error = "";

    static ProjectFile read(String fileName) {
        ProjectFile result = new ProjectFile();
        if (fileName == null || fileName.isEmpty()) {
            result.error = "no project file given";
            return result;
        }
        try {
            DocumentBuilderFactory factory = DocumentBuilderFactory.newInstance();
            factory.setFeature(XMLConstants.FEATURE_SECURE_PROCESSING, true);
            factory.setFeature("http://apache.org/xml/features/disallow-doctype-decl", true);
            DocumentBuilder builder = factory.newDocumentBuilder();
            Document doc = builder.parse(new File(fileName));
            Element root = doc.getDocumentElement();
            Element progName = child(child(root, "VIEWER"), "ProgName");
            if (progName != null) {
                for (Node n = progName.getFirstChild(); n != null; n = n.getNextSibling())
                    if (n instanceof Element e)
                        result.progNames.put(e.getTagName(), stringValue(e));
            }
            Element lang = child(child(root, "USER"), "ViewerSprache");
            if (lang != null)
                result.viewerLanguage = stringValue(lang);
        } catch (Exception e) {
            result.error = e.getMessage() == null ? e.toString() : e.getMessage();
        }
        return result;
    }

    private static Element child(Element parent, String name) {
        if (parent == null)
            return null;
        for (Node n = parent.getFirstChild(); n != null; n = n.getNextSibling())
            if (n instanceof Element e && e.getTagName().equals(name))
                return e;
        return null;
    }

    /** A string value is stored with the type letter "s" in front. */
    private static String stringValue(Element e) {
        String text = e.getTextContent().strip();
        return text.startsWith("s") ? text.substring(1) : "";
    }

    /** The program name in Language, else in the file's viewer language, else the first one. */
    String progName(String language) {
        String lang = language == null ? "" : language.toUpperCase();
        if (progNames.containsKey(lang))
            return progNames.get(lang);
        if (progNames.containsKey(viewerLanguage))
            return progNames.get(viewerLanguage);
        return progNames.isEmpty() ? "" : progNames.values().iterator().next();
    }

    Map<String, String> progNames() {
        return progNames;
    }

    String viewerLanguage() {
        return viewerLanguage;
    }

    String error() {
        return error;
    }
}
