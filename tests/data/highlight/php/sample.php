<?php
/**
 * Product list page of the shop: loads the products of one category
 * and renders them with a small pager.
 */
declare(strict_types=1);

namespace Shop\Pages;

use PDO;
use InvalidArgumentException;

require_once __DIR__ . '/../bootstrap.php';

const PER_PAGE = 12;

final class ProductRepository
{
    private PDO $db;

    public function __construct(PDO $db)
    {
        $this->db = $db;
    }

    /** @return array<int, array<string, mixed>> */
    public function findByCategory(string $slug, int $page = 1): array
    {
        if ($page < 1) {
            throw new InvalidArgumentException("Page must be at least 1, got $page");
        }
        $sql = 'SELECT id, name, price, image FROM products
                WHERE category = :slug AND active = 1
                ORDER BY name LIMIT :limit OFFSET :offset';
        $statement = $this->db->prepare($sql);
        $statement->bindValue(':slug', $slug);
        $statement->bindValue(':limit', PER_PAGE, PDO::PARAM_INT);
        $statement->bindValue(':offset', ($page - 1) * PER_PAGE, PDO::PARAM_INT);
        $statement->execute();
        return $statement->fetchAll(PDO::FETCH_ASSOC);
    }

    public static function price(float $amount): string
    {
        return number_format($amount, 2, ',', '.') . " \u{20AC}";
    }
}

function e(?string $text): string
{
    return htmlspecialchars($text ?? '', ENT_QUOTES, 'UTF-8');
}

# Request parameters
$slug = $_GET['category'] ?? 'bread';
$page = max(1, (int) ($_GET['page'] ?? 1));
$products = (new ProductRepository(db()))->findByCategory($slug, $page);
$title = ucfirst($slug) . ' | Corner Bakery';
?>
<!DOCTYPE html>
<html lang="en">
<head>
  <meta charset="utf-8">
  <title><?= e($title) ?></title>
  <link rel="stylesheet" href="/css/main.css">
  <style>
    .product { display: inline-block; width: 220px; }
    .product .price { color: #c0392b; font-weight: bold; }
  </style>
</head>
<body class="category-<?php echo e($slug); ?>">
  <header id="top">
    <h1><?php echo e(ucfirst($slug)); ?></h1>
  </header>

  <main id="products">
    <?php if (count($products) === 0): ?>
      <p class="empty">Nothing baked in this category today.</p>
    <?php else: ?>
      <ul class="product-list">
        <?php foreach ($products as $product): ?>
          <li class="product" data-id="<?= (int) $product['id'] ?>">
            <img src="/img/<?= e($product['image']) ?>" alt="<?= e($product["name"]) ?>">
            <h2><?= e($product['name']) ?></h2>
            <span class="price"><?= ProductRepository::price((float) $product['price']) ?></span>
          </li>
        <?php endforeach; ?>
      </ul>
    <?php endif; ?>
  </main>

  <!-- pager -->
  <nav class="pager">
    <?php if ($page > 1): ?>
      <a href="?category=<?= urlencode($slug) ?>&amp;page=<?= $page - 1 ?>">Newer</a>
    <?php endif; ?>
    <a href="?category=<?= urlencode($slug) ?>&amp;page=<?= $page + 1 ?>">Older</a>
  </nav>

  <script>
    var heading = "<?= e("Baker's choice: " . $title) ?>";
    var page = <?=$page?>;
    document.querySelectorAll('.product').forEach(function (item) {
      item.addEventListener('click', function () {
        window.location = '/product.php?id=' + item.dataset.id;
      });
    });
  </script>
</body>
</html>
