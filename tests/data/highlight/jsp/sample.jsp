<%@ page contentType="text/html;charset=UTF-8" language="java" pageEncoding="UTF-8" %>
<%@ page import="java.util.List, com.example.shop.model.Product" %>
<%@ taglib prefix="c" uri="jakarta.tags.core" %>
<%@ taglib prefix="fmt" uri="jakarta.tags.fmt" %>
<%--
  Product list. The servlet puts "products" and "category" in the request;
  don't open database connections from here.
--%>
<%!
    /** Shortens a description for the card; it's only used on this page. */
    private static String shorten(String text, int max) {
        if (text == null || text.length() <= max) {
            return text;
        }
        return text.substring(0, max - 1) + '…';
    }
%>
<!DOCTYPE html>
<html>
<head>
  <title>${fn:escapeXml(category.name)} – Shop</title>
  <link rel="stylesheet" href="${pageContext.request.contextPath}/css/shop.css">
</head>
<body>
<h1><c:out value="${category.name}"/></h1>
<%
    List<Product> products = (List<Product>) request.getAttribute("products");
    int shown = 0;
    char separator = '|';
%>
<c:if test="${empty products}">
  <p>There's nothing in this category yet.</p>
</c:if>
<ul class="products">
  <c:forEach var="product" items="${products}" varStatus="status">
    <li class="${status.first ? 'first' : ''}" data-id="${product.id}">
      <a href="<c:url value='/product'><c:param name='id' value='${product.id}'/></c:url>">${product.name}</a>
      <fmt:formatNumber value="${product.price}" type="currency"/>
      <c:choose>
        <c:when test="${product.stock gt 0 and not product.discontinued}">In stock</c:when>
        <c:otherwise>Sold out</c:otherwise>
      </c:choose>
    </li>
  </c:forEach>
</ul>
<% for (Product p : products) { %>
  <% if (p.isFeatured()) { shown++; %>
    <p class="featured"><%= shorten(p.getDescription(), 120) %></p>
  <% } %>
<% } %>
<p>Featured: <%= shown %> of <%= products.size() %>. <%= "A closing mark in a string: %>" %></p>
<script>
  // EL is expanded by the server even here; escape it as \${...} when the script needs its own.
  const contextPath = "${pageContext.request.contextPath}";
  const label = `Showing ${products.size()} products`;
  fetch(contextPath + "/api/cart").then((r) => r.json());
</script>
</body>
</html>
